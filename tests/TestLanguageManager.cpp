#include "app/Startup.h"
#include "i18n/LanguageManager.h"

#include <QSignalSpy>
#include <QtTest>

class TestLanguageManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResourceTree(); }

    void startsInEnglish();
    void languagesInEnumeratorOrder();
    void switchingLoadsTheCatalogue_data();
    void switchingLoadsTheCatalogue();
    void sameLanguageReloadsAndEmitsAgain();
    void missingKeyIsEmptyInEveryLanguage();
    void fallbackOnlyWhereTheTextIsMissing();
    void outOfRangeLanguageGivesEmptyCatalogueAndStillEmits();
};

void TestLanguageManager::startsInEnglish()
{
    LanguageManager manager;
    QCOMPARE(manager.languageName(), QStringLiteral("English"));
    QCOMPARE(manager.text("status.connected"), QStringLiteral("Connected"));
    QCOMPARE(manager.text("auth.remember"), QStringLiteral("Remember password"));
}

void TestLanguageManager::languagesInEnumeratorOrder()
{
    const QStringList names = LanguageManager::languages();
    QCOMPARE(names.size(), 12);
    QCOMPARE(names.at(Translation::English), QStringLiteral("English"));
    QCOMPARE(names.at(Translation::Spanish), QStringLiteral("Spanish"));
    QCOMPARE(names.at(Translation::French), QStringLiteral("French"));
    QCOMPARE(names.at(Translation::Japanese), QStringLiteral("Japanese"));
    QCOMPARE(names.at(Translation::Swedish), QStringLiteral("Swedish"));
}

void TestLanguageManager::switchingLoadsTheCatalogue_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("connected");
    QTest::addColumn<QString>("home");

    QTest::newRow("French") << int(Translation::French) << "French"
                            << "Connecté"
                            << "Accueil";
    QTest::newRow("Spanish") << int(Translation::Spanish) << "Spanish"
                             << "Conectado"
                             << "Inicio";
    QTest::newRow("German lacks the home key") << int(Translation::German) << "German"
                                               << "Verbunden"
                                               << "";
    QTest::newRow("back to English") << int(Translation::English) << "English"
                                     << "Connected"
                                     << "Home";
}

void TestLanguageManager::switchingLoadsTheCatalogue()
{
    QFETCH(int, language);
    LanguageManager manager;
    QSignalSpy translateSpy(&manager, &LanguageManager::translate);
    manager.languageChanged(Translation::Language(language));
    QCOMPARE(translateSpy.count(), 1);
    QTEST(manager.languageName(), "name");
    QTEST(manager.text("status.connected"), "connected");
    QTEST(manager.text("nav.home"), "home");
}

void TestLanguageManager::sameLanguageReloadsAndEmitsAgain()
{
    LanguageManager manager;
    QSignalSpy translateSpy(&manager, &LanguageManager::translate);
    manager.languageChanged(Translation::French);
    manager.languageChanged(Translation::French);
    QCOMPARE(translateSpy.count(), 2);
    QCOMPARE(manager.text("nav.account"), QStringLiteral("Compte"));

    // The slot is reachable by its type name, as signals of other objects carry it.
    QVERIFY(QMetaObject::invokeMethod(&manager, "languageChanged", Qt::QueuedConnection,
                                      Q_ARG(Translation::Language, Translation::Spanish)));
    QVERIFY(translateSpy.wait(1000));
    QCOMPARE(manager.languageName(), QStringLiteral("Spanish"));
}

void TestLanguageManager::missingKeyIsEmptyInEveryLanguage()
{
    LanguageManager manager;
    for (int language = Translation::English; language <= Translation::Swedish; ++language) {
        manager.languageChanged(Translation::Language(language));
        QVERIFY2(manager.text("no.such.key").isEmpty(), qPrintable(manager.languageName()));
        QVERIFY(manager.text("").isEmpty());
        QVERIFY(!manager.text("status.connected").isEmpty());
    }
}

void TestLanguageManager::fallbackOnlyWhereTheTextIsMissing()
{
    LanguageManager manager;
    QCOMPARE(textWithFallback(nullptr, "nav.home", "Home"), QStringLiteral("Home"));
    manager.languageChanged(Translation::German);
    QCOMPARE(textWithFallback(&manager, "nav.home", "Home"), QStringLiteral("Home"));
    QCOMPARE(textWithFallback(&manager, "tray.exit", "Exit"), QStringLiteral("Beenden"));
}

void TestLanguageManager::outOfRangeLanguageGivesEmptyCatalogueAndStillEmits()
{
    LanguageManager manager;
    QSignalSpy translateSpy(&manager, &LanguageManager::translate);
    manager.languageChanged(Translation::Language(12));
    QCOMPARE(translateSpy.count(), 1);
    QVERIFY(manager.text("status.connected").isEmpty());
}

QTEST_GUILESS_MAIN(TestLanguageManager)
#include "TestLanguageManager.moc"
