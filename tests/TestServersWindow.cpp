#include "app/Startup.h"
#include "i18n/LanguageManager.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServerListItem.h"
#include "servers/ServerListItemDelegate.h"
#include "servers/ServerListModel.h"
#include "servers/ServerPresentation.h"
#include "servers/ServersWindow.h"
#include "widgets/IconPainter.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

namespace {

ServerData server(int id, const QString &country, const QString &code, int ping,
                  const QString &city)
{
    ServerData record;
    record.id = id;
    record.country = country;
    record.countryCode = code;
    record.city = city;
    record.name = city;
    record.continent = "Europe";
    record.hostname = QStringLiteral("h%1.example").arg(id);
    record.serverIp = QStringLiteral("198.51.100.%1").arg(id);
    record.ping = ping;
    return record;
}

QVector<ServerData> someServers()
{
    return {server(1, "Germany", "DE", 40, "Berlin"), server(2, "Germany", "DE", 20, "Munich"),
            server(3, "France", "FR", 90, "Paris"),   server(4, "Spain", "ES", 150, "Madrid"),
            server(5, "Japan", "JP", 300, "Tokyo"),   server(6, "Norway", "NO", 0, "Oslo"),
            server(7, "Italy", "IT", 60, "Rome"),     server(8, "Portugal", "PT", 70, "Lisbon")};
}

QString styleColorOf(const QLabel *label)
{
    return label->styleSheet().section("background: ", 1).section(';', 0, 0);
}

QImage imageOf(const QLabel *label)
{
    return label->pixmap(Qt::ReturnByValue).toImage();
}

} // namespace

class TestServersWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rowLatencyClasses_data();
    void rowLatencyClasses();
    void cardLatencyClasses_data();
    void cardLatencyClasses();
    void locationCountTexts_data();
    void locationCountTexts();
    void flags();
    void iconPainterDrawsEveryKind();
    void navigationBarWithServersActive();
    void translatesWithoutFallback();
    void typingFiltersAtEachCharacter();
    void oneEditorOnTheRowUnderTheMouse();
    void choosingARowEmitsTheBestServerAndCloses_data();
    void choosingARowEmitsTheBestServerAndCloses();
    void rowsReorderedUnderAnOpenEditorChooseTheServerDrawn();
    void categoriesChangeOnlyTheHighlight();
    void favouritesViewHidesOtherRows();
    void favouriteToggleThroughTheDelegate();
    void navigationZonesAndDragging_data();
    void navigationZonesAndDragging();
    void rowsAreSpokenInTheMembersLanguage_data();
    void rowsAreSpokenInTheMembersLanguage();
    void arrowsAndEnterChooseARow();
    void rowActionsOfAScreenReader_data();
    void rowActionsOfAScreenReader();
    void ctrlDTogglesTheFavouriteOfTheCurrentRow();
    void rowItemsFollowTheirRowsThroughAResort();

private:
    QListView *view() const { return window->findChild<QListView *>("listViewServers"); }
    QPoint rowCentre(int row) const
    {
        return view()->visualRect(view()->model()->index(row, 0)).center();
    }

    std::unique_ptr<QWidget> mainWindow;
    ServersWindow *window = nullptr;
    ServerListModel *model = nullptr;
    LanguageManager languages;
};

void TestServersWindow::initTestCase()
{
    initResourceTree();
}

void TestServersWindow::init()
{
    mainWindow = std::make_unique<QWidget>();
    mainWindow->resize(411, 914);
    mainWindow->move(100, 100);
    window = new ServersWindow(mainWindow.get());
    model = new ServerListModel(someServers(), window);
    window->setModel(model);
    window->setLanguageManager(&languages);
    mainWindow->show();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(mainWindow.get()));
}

void TestServersWindow::cleanup()
{
    mainWindow.reset();
    languages.languageChanged(Translation::English);
}

void TestServersWindow::rowLatencyClasses_data()
{
    QTest::addColumn<int>("ping");
    QTest::addColumn<QString>("color");
    QTest::addColumn<int>("litBars");
    QTest::addColumn<QString>("text");
    // The figure is written in the class's colour darkened to 4.5:1 on the white row.
    QTest::addColumn<QString>("textColor");
    QTest::newRow("99") << 99 << "#04d595" << 4 << "99ms"
                        << "#02865c";
    QTest::newRow("100") << 100 << "#ffc642" << 3 << "100ms"
                         << "#9e6c00";
    QTest::newRow("179") << 179 << "#ffc642" << 3 << "179ms"
                         << "#9e6c00";
    QTest::newRow("180") << 180 << "#ffc642" << 2 << "180ms"
                         << "#9e6c00";
    QTest::newRow("349") << 349 << "#ffc642" << 2 << "349ms"
                         << "#9e6c00";
    QTest::newRow("350") << 350 << "#ff6374" << 1 << "350ms"
                         << "#ee001c";
    QTest::newRow("10000") << 10000 << "#ff6374" << 1 << "10000ms"
                           << "#ee001c";
    QTest::newRow("10001") << 10001 << "#7d8aa8" << 0 << "--"
                           << "#667698";
    QTest::newRow("0") << 0 << "#7d8aa8" << 0 << "--"
                       << "#667698";
}

void TestServersWindow::rowLatencyClasses()
{
    QFETCH(int, ping);
    QFETCH(QString, color);
    QFETCH(int, litBars);
    ServerListItem row(server(1, "France", "FR", ping, "Paris"), nullptr);
    QCOMPARE(row.sizeHint(), QSize(363, 88));
    auto *pingLabel = row.findChild<QLabel *>("labelPing");
    QTEST(pingLabel->text(), "text");
    QFETCH(QString, textColor);
    QVERIFY2(pingLabel->styleSheet().contains("color: " + textColor),
             qPrintable(pingLabel->styleSheet()));
    for (int bar = 1; bar <= 4; ++bar) {
        const QString barColor =
            styleColorOf(row.findChild<QLabel *>(QStringLiteral("barSignal_%1").arg(bar)));
        QCOMPARE(barColor, bar <= litBars ? color : QStringLiteral("#D9E1EA"));
    }
    QCOMPARE(row.findChild<QLabel *>("labelName")->text(), QStringLiteral("France"));
    QCOMPARE(row.findChild<QLabel *>("labelFavorite")->text(), QStringLiteral("Connect"));
}

void TestServersWindow::cardLatencyClasses_data()
{
    QTest::addColumn<int>("ping");
    QTest::addColumn<QString>("pingText");
    QTest::addColumn<int>("litBars");
    QTest::addColumn<QString>("word");
    QTest::newRow("50") << 50 << "50ms" << 4 << "GREAT";
    QTest::newRow("120") << 120 << "120ms" << 3 << "GOOD";
    QTest::newRow("200") << 200 << "200ms" << 2 << "FAIR";
    QTest::newRow("20000") << 20000 << "20000ms" << 1 << "POOR";
    QTest::newRow("0") << 0 << "--" << 0 << "--";
}

void TestServersWindow::cardLatencyClasses()
{
    QFETCH(int, ping);
    QFETCH(int, litBars);
    RecomendedServerItem card;
    QCOMPARE(card.findChild<QLabel *>("labelLatencyLabel")->text(), QStringLiteral("--"));
    card.setServer(server(4, "", "ES", ping, "Madrid"));
    QTEST(card.findChild<QLabel *>("labelPing")->text(), "pingText");
    QTEST(card.findChild<QLabel *>("labelLatencyLabel")->text(), "word");
    QCOMPARE(card.findChild<QLabel *>("labelName")->text(), QStringLiteral("Madrid"));
    QCOMPARE(card.findChild<QLabel *>("labelSubtitle")->text(),
             QStringLiteral("Selected Location"));
    for (int bar = 1; bar <= 4; ++bar) {
        const QString style =
            card.findChild<QLabel *>(QStringLiteral("barSignal_%1").arg(bar))->styleSheet();
        QVERIFY(style.contains(bar <= litBars ? "#14A85A" : "#666666"));
    }
    QSignalSpy chosen(&card, &RecomendedServerItem::setCurrent);
    QTest::mouseClick(card.findChild<QPushButton *>("pushButton"), Qt::LeftButton);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().at(0).toInt(), 4);
    QCOMPARE(chosen.first().at(1).toBool(), true);
}

void TestServersWindow::locationCountTexts_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("text");
    QTest::newRow("1, English") << 1 << int(Translation::English) << "1 Location";
    QTest::newRow("3, English") << 3 << int(Translation::English) << "3 Locations";
    QTest::newRow("3, Spanish") << 3 << int(Translation::Spanish) << "3 Ubicaciones";
    QTest::newRow("3, German falls back") << 3 << int(Translation::German) << "3 Locations";
}

void TestServersWindow::locationCountTexts()
{
    QFETCH(int, count);
    QFETCH(int, language);
    languages.languageChanged(Translation::Language(language));
    ServerData record = server(1, "Spain", "ES", 10, "Madrid");
    record.locationCount = count;
    ServerListItem row(record, &languages);
    QTEST(row.findChild<QLabel *>("labelLocations")->text(), "text");
}

void TestServersWindow::flags()
{
    QLabel gb;
    gb.resize(28, 20);
    ServerPresentation::setFlagImage(&gb, " gb ", 28);
    QLabel unknown;
    unknown.resize(28, 20);
    ServerPresentation::setFlagImage(&unknown, "QQ", 28);
    QLabel unkn;
    unkn.resize(28, 20);
    ServerPresentation::setFlagImage(&unkn, "UNKN", 28);

    QVERIFY(!imageOf(&gb).isNull());
    QVERIFY(imageOf(&gb).width() <= 28 && imageOf(&gb).height() <= 20);
    QVERIFY(imageOf(&gb) != imageOf(&unkn));
    QCOMPARE(imageOf(&unknown), imageOf(&unkn));
    QVERIFY(gb.text().isEmpty());
    QCOMPARE(gb.alignment(), Qt::AlignCenter);
    QCOMPARE(gb.styleSheet(), QStringLiteral("background: transparent; border: 0;"));
}

void TestServersWindow::iconPainterDrawsEveryKind()
{
    QSet<QByteArray> drawings;
    for (int kind = IconPainter::BackChevron; kind <= IconPainter::ForwardChevron; ++kind) {
        const QImage icon = IconPainter::paint(kind, Qt::black, QSize(29, 29)).toImage();
        QCOMPARE(icon.size(), QSize(29, 29));
        QByteArray bits(reinterpret_cast<const char *>(icon.constBits()), int(icon.sizeInBytes()));
        QVERIFY2(bits.count('\0') < bits.size(), qPrintable(QString::number(kind)));
        drawings.insert(bits);
    }
    QCOMPARE(drawings.size(), 10);
}

void TestServersWindow::navigationBarWithServersActive()
{
    const QStringList names = {"mobileNavHomeLabel", "mobileNavServersLabel",
                               "mobileNavAccountLabel", "mobileNavSettingsLabel"};
    for (int item = 0; item < names.size(); ++item) {
        auto *label = window->findChild<QLabel *>(names.at(item));
        QVERIFY(label);
        QVERIFY(label->testAttribute(Qt::WA_TransparentForMouseEvents));
        // The accent and grey darkened to 4.5:1 on the active item's glow.
        QVERIFY2(label->styleSheet().contains(item == 1 ? "#0e7a40" : "#626b78"),
                 qPrintable(label->styleSheet()));
    }
    // The bar's icons are the painter's kinds 1 to 4, Servers in the active colour.
    const QImage servers =
        IconPainter::paint(IconPainter::Servers, QColor("#14A85A"), QSize(29, 29)).toImage();
    bool found = false;
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (label->geometry() == QRect(101, 12, 85, 31))
            found = label->pixmap(Qt::ReturnByValue).toImage() == servers;
    }
    QVERIFY(found);
    auto *highlight = window->findChild<QFrame *>("frameNavigationHighlight");
    QVERIFY(highlight);
    QCOMPARE(highlight->geometry(), QRect(101, 8, 85, 59));
}

void TestServersWindow::translatesWithoutFallback()
{
    QCOMPARE(window->findChild<QLabel *>("mobileSectionTitle")->text(), QStringLiteral("Servers"));
    QCOMPARE(window->findChild<QLabel *>("mobileNavHomeLabel")->text(), QStringLiteral("HOME"));
    QCOMPARE(window->findChild<QPushButton *>("pushButtonFavorites")->text(),
             QStringLiteral("Streaming"));
    QCOMPARE(window->findChild<QLineEdit *>("lineEditSearch")->placeholderText(),
             QStringLiteral("Search servers"));
    languages.languageChanged(Translation::French);
    QCOMPARE(window->findChild<QLabel *>("mobileSectionTitle")->text(), QStringLiteral("Serveurs"));
    QCOMPARE(window->findChild<QLabel *>("mobileNavHomeLabel")->text(), QStringLiteral("ACCUEIL"));
    languages.languageChanged(Translation::German);
    QVERIFY(window->findChild<QLabel *>("mobileSectionTitle")->text().isEmpty());
    QVERIFY(window->findChild<QLabel *>("mobileNavServersLabel")->text().isEmpty());
}

void TestServersWindow::typingFiltersAtEachCharacter()
{
    auto *search = window->findChild<QLineEdit *>("lineEditSearch");
    QCOMPARE(view()->model()->rowCount(), 7);
    QTest::keyClick(search, Qt::Key_S);
    QCOMPARE(model->rowCount(), 4); // Spain, France (Paris), Norway (Oslo), Portugal (Lisbon)
    QTest::keyClick(search, Qt::Key_P);
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->data(model->index(0, 0)).value<ServerData>().country, QStringLiteral("Spain"));
    search->selectAll();
    QTest::keyClick(search, Qt::Key_Backspace);
    QCOMPARE(model->rowCount(), 7);
}

void TestServersWindow::oneEditorOnTheRowUnderTheMouse()
{
    for (int row = 0; row < 3; ++row) {
        emit view()->entered(model->index(row, 0));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(view()->viewport()->findChildren<ServerListItemEditor *>().size(), 1);
        QVERIFY(view()->isPersistentEditorOpen(model->index(row, 0)));
    }
    QVERIFY(!view()->isPersistentEditorOpen(model->index(0, 0)));
    auto *editor = view()->viewport()->findChild<ServerListItemEditor *>();
    QCOMPARE(editor->geometry(), view()->visualRect(model->index(2, 0)));
}

void TestServersWindow::choosingARowEmitsTheBestServerAndCloses_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("row") << "pushButtonSetCurrent";
    QTest::newRow("right-hand button") << "pushButtonSetFavorite";
}

void TestServersWindow::choosingARowEmitsTheBestServerAndCloses()
{
    QFETCH(QString, button);
    QSignalSpy chosen(window, &ServersWindow::currentServerChosed);
    QSignalSpy favourites(window, &ServersWindow::requestUpdateFavoriteServers);
    const int germany = [this] {
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->data(model->index(row, 0)).value<ServerData>().country == "Germany")
                return row;
        }
        return -1;
    }();
    emit view()->entered(model->index(germany, 0));
    auto *editor = view()->viewport()->findChild<ServerListItemEditor *>();
    QVERIFY(editor);
    QTest::mouseClick(editor->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().at(0).toInt(), 2); // Munich, the faster German server
    QCOMPARE(chosen.first().at(1).toBool(), true);
    QCOMPARE(favourites.count(), 0);
    QVERIFY(!model->serverById(2).isFavorite);
    QVERIFY(!window->isVisible());
}

// A batch of latencies re-orders the rows in place while the pointer rests on one: a click there
// chooses the server the row now shows.
void TestServersWindow::rowsReorderedUnderAnOpenEditorChooseTheServerDrawn()
{
    model->sortServers(3);
    const auto idOnRow = [this](int row) {
        return model->data(model->index(row, 0)).value<ServerData>().id;
    };
    QCOMPARE(idOnRow(0), 2); // Munich, 20 ms
    emit view()->entered(model->index(0, 0));
    auto *editor = view()->viewport()->findChild<ServerListItemEditor *>();
    QVERIFY(editor);

    model->updateLatencies({{2, 500}, {1, 400}, {7, 5}});
    QCOMPARE(idOnRow(0), 7); // Rome, now 5 ms
    QCOMPARE(view()->viewport()->findChild<ServerListItemEditor *>(), editor);
    QSignalSpy chosen(window, &ServersWindow::currentServerChosed);
    QTest::mouseClick(editor->findChild<QPushButton *>("pushButtonSetCurrent"), Qt::LeftButton);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().at(0).toInt(), 7);
}

void TestServersWindow::categoriesChangeOnlyTheHighlight()
{
    auto *favouritesView = window->findChild<QListView *>("listViewFavoriteServers");
    for (const char *name :
         {"pushButtonFavorites", "pushButtonGaming", "pushButtonP2P", "pushButtonAllServers"}) {
        auto *button = window->findChild<QPushButton *>(name);
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(button->styleSheet().contains("background-color: #108648"));
        for (QPushButton *other : window->findChildren<QPushButton *>(
                 QRegularExpression("^pushButton(AllServers|Favorites|Gaming|P2P)$"))) {
            if (other != button)
                QVERIFY(other->styleSheet().contains("#F0F3F7"));
        }
        QVERIFY(view()->isVisible());
        QVERIFY(!favouritesView->isVisible());
        QCOMPARE(model->rowCount(), 7);
    }
}

void TestServersWindow::favouritesViewHidesOtherRows()
{
    ServerData oslo = model->serverById(6);
    oslo.isFavorite = true;
    model->updateServer(oslo);
    FavoriteServerListItemDelegate delegate;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 363, 88);
    QImage canvas(363, 88, QImage::Format_ARGB32);
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        const bool favourite = model->data(index).value<ServerData>().isFavorite;
        QCOMPARE(delegate.sizeHint(option, index), favourite ? QSize(363, 88) : QSize(340, 0));
        canvas.fill(Qt::transparent);
        QPainter painter(&canvas);
        delegate.paint(&painter, option, index);
        painter.end();
        QCOMPARE(canvas.pixel(180, 40) != 0, favourite);
    }
}

void TestServersWindow::favouriteToggleThroughTheDelegate()
{
    QSignalSpy favourites(window, &ServersWindow::requestUpdateFavoriteServers);
    auto *delegate = qobject_cast<ServerListItemDelegate *>(view()->itemDelegate());
    const QModelIndex first = model->index(0, 0);
    const int id = model->data(first).value<ServerData>().id;
    emit view()->entered(first);
    auto *editor = view()->viewport()->findChild<ServerListItemEditor *>();
    delegate->setModelData(editor, model, first);
    QVERIFY(model->serverById(id).isFavorite);
    QCOMPARE(favourites.count(), 1);
}

void TestServersWindow::navigationZonesAndDragging_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("Home item closes") << QPoint(24, 814) << "close";
    QTest::newRow("Home item, far corner") << QPoint(108, 872) << "close";
    QTest::newRow("Account item") << QPoint(210, 814) << "account";
    QTest::newRow("Settings item") << QPoint(386, 872) << "settings";
    QTest::newRow("Servers item drags") << QPoint(150, 840) << "drag";
    QTest::newRow("between Account and Settings drags") << QPoint(300, 840) << "drag";
    QTest::newRow("empty spot drags") << QPoint(200, 40) << "drag";
}

void TestServersWindow::navigationZonesAndDragging()
{
    QFETCH(QPoint, press);
    QFETCH(QString, outcome);
    QSignalSpy account(window, &ServersWindow::requestOpenAccount);
    QSignalSpy settings(window, &ServersWindow::requestOpenSettings);
    const QPoint start = mainWindow->pos();
    QTest::mousePress(window, Qt::LeftButton, Qt::NoModifier, press);
    QMouseEvent move(QEvent::MouseMove, press + QPoint(25, 35),
                     window->mapToGlobal(press + QPoint(25, 35)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window, &move);
    QTest::mouseRelease(window, Qt::LeftButton, Qt::NoModifier, press + QPoint(25, 35));
    QCOMPARE(window->isVisible(), outcome != "close");
    QCOMPARE(account.count(), outcome == "account" ? 1 : 0);
    QCOMPARE(settings.count(), outcome == "settings" ? 1 : 0);
    QCOMPARE(mainWindow->pos(), outcome == "drag" ? start + QPoint(25, 35) : start);
}

// What a screen reader reads of each row: the location, its servers, the latency in words.
void TestServersWindow::rowsAreSpokenInTheMembersLanguage_data()
{
    QTest::addColumn<Translation::Language>("language");
    QTest::addColumn<QString>("germany");
    QTest::addColumn<QString>("norway");
    QTest::newRow("English") << Translation::English
                             << "Germany, Munich, 2 Locations, 20 milliseconds"
                             << "Norway, Oslo, 1 Location, latency not measured";
    QTest::newRow("French") << Translation::French
                            << "Germany, Munich, 2 Emplacements, 20 millisecondes"
                            << "Norway, Oslo, 1 Emplacement, latence non mesurée";
}

void TestServersWindow::rowsAreSpokenInTheMembersLanguage()
{
    QFETCH(Translation::Language, language);
    languages.languageChanged(language);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(view());
    QStringList spoken;
    for (int child = 0; child < list->childCount(); ++child)
        spoken << list->child(child)->text(QAccessible::Name);
    QFETCH(QString, germany);
    QFETCH(QString, norway);
    QVERIFY2(spoken.contains(germany), qPrintable(spoken.join(" | ")));
    QVERIFY2(spoken.contains(norway), qPrintable(spoken.join(" | ")));
}

// The keyboard alone: the arrow keys move through the rows, Enter chooses the one reached.
void TestServersWindow::arrowsAndEnterChooseARow()
{
    QSignalSpy chosen(window, &ServersWindow::currentServerChosed);
    view()->setFocus();
    view()->setCurrentIndex(view()->model()->index(0, 0));
    QTest::keyClick(view(), Qt::Key_Down);
    QCOMPARE(view()->currentIndex().row(), 1);
    QCOMPARE(chosen.count(), 0);
    // A screen reader follows the row reached.
    QAccessibleInterface *focusedRow = QAccessible::queryAccessibleInterface(view())->focusChild();
    QVERIFY(focusedRow);
    QCOMPARE(focusedRow->text(QAccessible::Name),
             view()->currentIndex().data(Qt::AccessibleTextRole).toString());
    QVERIFY(focusedRow->state().focused);
    const int expected = view()->currentIndex().data().value<ServerData>().id;
    QTest::keyClick(view(), Qt::Key_Return);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.first().at(0).toInt(), expected);
}

// A screen reader offers each row's actions under names in the member's language.
void TestServersWindow::rowActionsOfAScreenReader_data()
{
    QTest::addColumn<Translation::Language>("language");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<bool>("autoConnect");
    QTest::addColumn<bool>("favouriteToggled");
    QTest::newRow("choose") << Translation::English << "Choose" << 1 << false << false;
    QTest::newRow("connect") << Translation::English << "Connect" << 1 << true << false;
    QTest::newRow("favourite") << Translation::English << "Add to or remove from favourites" << 0
                               << false << true;
    QTest::newRow("choisir") << Translation::French << "Choisir" << 1 << false << false;
    QTest::newRow("favori") << Translation::French << "Ajouter aux favoris ou en retirer" << 0
                            << false << true;
}

void TestServersWindow::rowActionsOfAScreenReader()
{
    QFETCH(Translation::Language, language);
    QFETCH(QString, action);
    languages.languageChanged(language);
    QSignalSpy chosen(window, &ServersWindow::currentServerChosed);
    QSignalSpy favourites(window, &ServersWindow::requestUpdateFavoriteServers);
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(view());
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->childCount(), model->rowCount());
    QAccessibleInterface *row = list->child(2);
    QCOMPARE(row->role(), QAccessible::ListItem);
    QCOMPARE(list->indexOfChild(row), 2);
    const ServerData before = model->index(2, 0).data().value<ServerData>();
    QVERIFY2(row->actionInterface()->actionNames().contains(action),
             qPrintable(row->actionInterface()->actionNames().join(" | ")));

    row->actionInterface()->doAction(action);

    QTEST(int(chosen.count()), "chosen");
    if (!chosen.isEmpty()) {
        QCOMPARE(chosen.first().at(0).toInt(), before.id);
        QTEST(chosen.first().at(1).toBool(), "autoConnect");
    }
    QCOMPARE(window->isVisible(), chosen.isEmpty());
    QFETCH(bool, favouriteToggled);
    QCOMPARE(favourites.count(), favouriteToggled ? 1 : 0);
    const ServerData after = model->serverById(before.id);
    QCOMPARE(after.isFavorite, favouriteToggled ? !before.isFavorite : before.isFavorite);
}

void TestServersWindow::ctrlDTogglesTheFavouriteOfTheCurrentRow()
{
    QSignalSpy favourites(window, &ServersWindow::requestUpdateFavoriteServers);
    view()->setFocus();
    view()->setCurrentIndex(view()->model()->index(1, 0));
    const int id = view()->currentIndex().data().value<ServerData>().id;
    QTest::keyClick(view(), Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(favourites.count(), 1);
    QVERIFY(model->serverById(id).isFavorite);
    // The keyboard stays on the row, which now says it is a favourite.
    QCOMPARE(view()->currentIndex().data().value<ServerData>().id, id);
    QVERIFY(view()->currentIndex().data(Qt::AccessibleTextRole).toString().endsWith("favourite"));
    QTest::keyClick(view(), Qt::Key_D, Qt::ControlModifier);
    QVERIFY(!model->serverById(id).isFavorite);
    QVERIFY(window->isVisible());
}

// An item a screen reader holds names the row now at its place, not the one that was there.
void TestServersWindow::rowItemsFollowTheirRowsThroughAResort()
{
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(view());
    const QString first = list->child(0)->text(QAccessible::Name);
    model->setSortOrder(1);
    model->sortServers(3);
    const QString firstNow = model->index(0, 0).data(Qt::AccessibleTextRole).toString();
    QVERIFY2(firstNow != first, "the sort left the first row in place");
    QCOMPARE(list->child(0)->text(QAccessible::Name), firstNow);
    QCOMPARE(list->indexOfChild(list->child(0)), 0);
}

QTEST_MAIN(TestServersWindow)
#include "TestServersWindow.moc"
