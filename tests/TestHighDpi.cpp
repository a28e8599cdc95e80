#include "ClientSetUp.h"
#include "FakePrograms.h"
#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "types/ServerData.h"
#include "ui/LoginForm.h"
#include "ui/MainForm.h"

#include <QAbstractButton>
#include <QLabel>
#include <QtTest>

namespace {

ServerData server(int id, const QString &code)
{
    ServerData record;
    record.id = id;
    record.city = record.name = record.country = code;
    record.countryCode = code;
    record.serverIp = QStringLiteral("127.0.1.%1").arg(id);
    record.ping = 20 * id;
    return record;
}

// Every picture a page shows, where it is wider or taller than a pixel: labels' pixmaps and
// buttons' icons, named for the failure message.
void checkImagesOf(QWidget *page)
{
    for (QLabel *label : page->findChildren<QLabel *>()) {
        const QPixmap pixmap = label->pixmap(Qt::ReturnByValue);
        if (pixmap.isNull())
            continue;
        QVERIFY2(pixmap.devicePixelRatio() == 2.0, qPrintable(label->objectName()));
    }
    for (QAbstractButton *button : page->findChildren<QAbstractButton *>()) {
        if (button->icon().isNull())
            continue;
        QSize largest;
        for (const QSize &size : button->icon().availableSizes())
            largest = largest.expandedTo(size);
        const QSize wanted = button->iconSize() * 2;
        QVERIFY2(largest.width() >= wanted.width() || largest.height() >= wanted.height(),
                 qPrintable(button->objectName()));
    }
}

} // namespace

// At a scale of 2 every image the pages show comes from a source with twice the pixels.
class TestHighDpi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void pagesShowTwiceThePixels();
};

void TestHighDpi::initTestCase()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
    initResourceTree();
    runToolsFromPath();
}

void TestHighDpi::pagesShowTwiceThePixels()
{
    FakePrograms fakes;
    LanguageManager languages;
    LoginForm login;
    login.setLanguageManager(&languages);
    checkImagesOf(&login);

    MainForm home;
    home.setLanguageManager(&languages);
    home.setServers({server(1, "DE"), server(2, "FR"), server(3, "ES")});
    home.show();
    for (const char *page : {"on_pushButtonExploreLocations_clicked",
                             "on_pushButtonSettingsNav_clicked", "on_pushButtonAccountNav_clicked"})
        QVERIFY(QMetaObject::invokeMethod(&home, page));
    checkImagesOf(&home);
}

int main(int argc, char *argv[])
{
    qputenv("QT_SCALE_FACTOR", "2");
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    TestHighDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestHighDpi.moc"
