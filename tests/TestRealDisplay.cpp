#include "DemoClient.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "i18n/LanguageManager.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServerListItem.h"
#include "servers/ServerListModel.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "types/ServerData.h"
#include "ui/AccountWindow.h"
#include "ui/MainForm.h"
#include "ui/SettingsWindow.h"
#include "vpn/VpnManager.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextDocument>
#include <QtTest>

#include <algorithm>
#include <functional>

#include <memory>

namespace {

// Colour channels may differ this much where antialiasing of a rounded edge meets the screen.
constexpr int channelTolerance = 24;

bool samePixel(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) <= channelTolerance &&
           qAbs(qGreen(a) - qGreen(b)) <= channelTolerance &&
           qAbs(qBlue(a) - qBlue(b)) <= channelTolerance;
}

// The part of the window the member sees, less a two-pixel rim where the mask's edge is
// antialiased differently on screen and in a fresh paint.
QRegion visibleInterior(const QWidget *window)
{
    const QRegion shape = window->mask().isEmpty() ? QRegion(window->rect()) : window->mask();
    QRegion interior;
    for (const QRect &rect : shape) {
        const QRect inner = rect.adjusted(2, 0, -2, 0);
        if (inner.isValid())
            interior += inner;
    }
    return interior & shape.translated(0, 2) & shape.translated(0, -2);
}

// Where the screen shows something other than what the window paints afresh; the two images
// go to the artifacts folder, when one is named, for a person to look at.
QRect differenceBetweenScreenAndPaint(QWidget *window, const QString &name)
{
    QTest::qWait(150);
    const QImage painted = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QPoint origin = window->mapToGlobal(QPoint(0, 0));
    const QImage screen =
        window->screen()
            ->grabWindow(0, origin.x(), origin.y(), window->width(), window->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    QRect difference;
    for (const QRect &rect : visibleInterior(window)) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x) {
                if (!samePixel(painted.pixel(x, y), screen.pixel(x, y)))
                    difference |= QRect(x, y, 1, 1);
            }
        }
    }
    const QString artifacts = qEnvironmentVariable("CORVANE_TEST_ARTIFACTS");
    if (!difference.isNull() && !artifacts.isEmpty()) {
        QDir().mkpath(artifacts);
        painted.save(artifacts + "/" + name + "-painted.png");
        screen.save(artifacts + "/" + name + "-screen.png");
    }
    return difference;
}

// Where a label paints, in its parent's coordinates: the ink of its text, its picture, or else
// its whole box (a bar or a background).
QRect paintedArea(const QLabel *label)
{
    QSize size = label->size();
    if (Qt::mightBeRichText(label->text())) {
        QTextDocument document;
        document.setDefaultFont(label->font());
        document.setHtml(label->text());
        document.setDocumentMargin(0);
        size = QSize(qCeil(document.idealWidth()), label->fontMetrics().height());
    } else if (!label->text().isEmpty()) {
        const QFontMetrics metrics = label->fontMetrics();
        size = QSize(metrics.horizontalAdvance(label->text()),
                     metrics.tightBoundingRect(label->text()).height());
    } else if (const QPixmap picture = label->pixmap(Qt::ReturnByValue); !picture.isNull()) {
        size = picture.size() / picture.devicePixelRatio();
    }
    return QStyle::alignedRect(label->layoutDirection(), label->alignment(), size,
                               label->contentsRect())
        .translated(label->pos());
}

// Captions under top that do not fit their label or run into a neighbouring label, each named
// with its label and text; and buttons too narrow for their caption.
QStringList captionsThatDoNotFit(QWidget *top)
{
    QStringList overflowing;
    for (QLabel *label : top->findChildren<QLabel *>()) {
        if (!label->isVisibleTo(top) || label->text().isEmpty() ||
            Qt::mightBeRichText(label->text()))
            continue;
        const QString name = label->objectName() + ": " + label->text();
        const QRect room = label->contentsRect();
        if (label->wordWrap()
                ? label->heightForWidth(room.width()) > room.height()
                : label->fontMetrics().horizontalAdvance(label->text()) > room.width()) {
            overflowing << name;
            continue;
        }
        // A caption may lie inside a neighbour's box (its background), never across one.
        const QRect text = paintedArea(label);
        for (QLabel *neighbour :
             label->parentWidget()->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly)) {
            if (neighbour == label || !neighbour->isVisibleTo(top))
                continue;
            const QRect other = paintedArea(neighbour);
            if (other.intersects(text) && !other.contains(text))
                overflowing << name + " over " + neighbour->objectName();
        }
    }
    for (QPushButton *button : top->findChildren<QPushButton *>()) {
        if (button->isVisibleTo(top) && !button->text().isEmpty() &&
            button->sizeHint().width() > button->width())
            overflowing << button->objectName() + ": " + button->text();
    }
    return overflowing;
}

QString describe(const QRect &rect)
{
    return QStringLiteral("screen differs from a fresh paint in %1x%2 at (%3,%4)")
        .arg(rect.width())
        .arg(rect.height())
        .arg(rect.x())
        .arg(rect.y());
}

} // namespace

// The real main window on a real X server (tests/helpers/with-xvfb): what the screen shows of
// each page, in each connection state and language, is what the page paints afresh.
class TestRealDisplay : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void screenShowsWhatPagesPaint_data();
    void screenShowsWhatPagesPaint();
    void everyCaptionFits_data();
    void everyCaptionFits();
    void listRowAndCardCaptionsFit_data();
    void listRowAndCardCaptionsFit();

private:
    void checkScreen(QWidget *window, const QString &name);

    std::unique_ptr<DemoService> demo;
    std::unique_ptr<FakePrograms> fakes;
    QTemporaryDir home;
    std::unique_ptr<MainWindow> window;
};

void TestRealDisplay::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    demo = startDemoClient(home);
    QVERIFY2(demo->isRunning(), qPrintable(demo->log()));
}

void TestRealDisplay::init()
{
    fakes = std::make_unique<FakePrograms>();
    // Answers from every server, so latency sweeps reorder cards and lists while pages show.
    fakes->script("ping", "STDOUT", "rtt min/avg/max/mdev = 1/2/3/1 ms\n");
}

void TestRealDisplay::cleanup()
{
    window.reset();
    fakes.reset();
}

void TestRealDisplay::checkScreen(QWidget *shown, const QString &name)
{
    QVERIFY(QTest::qWaitForWindowExposed(shown));
    const QRect difference = differenceBetweenScreenAndPaint(shown, name);
    QVERIFY2(difference.isNull(), qPrintable(name + ": " + describe(difference)));
}

void TestRealDisplay::screenShowsWhatPagesPaint_data()
{
    QTest::addColumn<int>("language");
    QTest::newRow("English") << int(Translation::English);
    QTest::newRow("French") << int(Translation::French);
    QTest::newRow("Spanish") << int(Translation::Spanish);
}

void TestRealDisplay::screenShowsWhatPagesPaint()
{
    QFETCH(int, language);
    AppSettings::setValue(AppSettings::Language, language);
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(*window), QStringLiteral("pageLogin"), 10000);
    checkScreen(window.get(), tag + "-login");

    QVERIFY(signInThroughLoginPage(*window, "demo@corvane.test", "demo-password"));
    auto *home = window->findChild<MainForm *>();
    // The sign-in's sweep reorders the cards while the page shows; the screen is compared once
    // every server is measured, when no change of the cards can be on its way to the screen.
    const auto everyServerMeasured = [home] {
        const QVector<ServerData> servers = home->servers();
        return !servers.isEmpty() &&
               std::all_of(servers.begin(), servers.end(), [home](const ServerData &server) {
                   return home->model()->serverById(server.id).hasValidLatency();
               });
    };
    QTRY_VERIFY_WITH_TIMEOUT(everyServerMeasured(), 10000);
    checkScreen(window.get(), tag + "-home");
    QVERIFY(clickConnectButton(*window));
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);
    // The clock and the rates update while the page shows.
    QTest::qWait(2500);
    checkScreen(window.get(), tag + "-connected");

    // Each page is built when first opened.
    const std::pair<const char *, std::function<QWidget *()>> pages[] = {
        {"on_pushButtonExploreLocations_clicked",
         [&] { return window->findChild<ServersWindow *>(); }},
        {"on_pushButtonSettingsNav_clicked", [&] { return window->findChild<SettingsWindow *>(); }},
        {"on_pushButtonAccountNav_clicked", [&] { return window->findChild<AccountWindow *>(); }},
    };
    for (const auto &[opener, findPage] : pages) {
        QVERIFY(QMetaObject::invokeMethod(home, opener));
        QWidget *page = findPage();
        QVERIFY(page);
        // The page lies over the home page, under the window's own controls.
        QVERIFY(QTest::qWaitForWindowExposed(page));
        checkScreen(window.get(), tag + "-" + page->metaObject()->className());
        page->hide();
    }

    QVERIFY(clickConnectButton(*window));
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Disconnected),
                              10000);
    checkScreen(window.get(), tag + "-disconnected");
}

void TestRealDisplay::everyCaptionFits_data()
{
    screenShowsWhatPagesPaint_data();
}

void TestRealDisplay::everyCaptionFits()
{
    QFETCH(int, language);
    AppSettings::setValue(AppSettings::Language, language);
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(*window), QStringLiteral("pageLogin"), 10000);
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QStringList overflowing = captionsThatDoNotFit(window.get());

    QVERIFY(signInThroughLoginPage(*window, "demo@corvane.test", "demo-password"));
    auto *home = window->findChild<MainForm *>();
    QTest::qWait(1000);
    overflowing += captionsThatDoNotFit(window.get());
    QVERIFY(clickConnectButton(*window));
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);
    overflowing += captionsThatDoNotFit(window.get());
    for (const char *opener :
         {"on_pushButtonExploreLocations_clicked", "on_pushButtonSettingsNav_clicked",
          "on_pushButtonAccountNav_clicked"}) {
        QVERIFY(QMetaObject::invokeMethod(home, opener));
        overflowing += captionsThatDoNotFit(window.get());
    }
    overflowing.removeDuplicates();
    QVERIFY2(overflowing.isEmpty(), qPrintable(overflowing.join(" | ")));
}

// The server list's rows and the home screen's cards at every latency word, in each language.
void TestRealDisplay::listRowAndCardCaptionsFit_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("ping");
    const std::pair<const char *, Translation::Language> languages[] = {
        {"English", Translation::English},
        {"French", Translation::French},
        {"Spanish", Translation::Spanish}};
    for (const auto &[name, language] : languages) {
        for (const int ping : {0, 40, 150, 300, 900, 9999})
            QTest::addRow("%s, %d ms", name, ping) << int(language) << ping;
    }
}

void TestRealDisplay::listRowAndCardCaptionsFit()
{
    QFETCH(int, language);
    QFETCH(int, ping);
    LanguageManager languages;
    languages.languageChanged(Translation::Language(language));
    ServerData server;
    server.id = 1;
    server.name = server.city = QStringLiteral("Frankfurt");
    server.country = QStringLiteral("Germany");
    server.countryCode = QStringLiteral("DE");
    server.ping = ping;
    server.locationCount = 12;

    ServerListItem row(server, &languages);
    RecomendedServerItem card;
    card.setLanguageManager(&languages);
    card.setServer(server);
    for (QWidget *shown : {static_cast<QWidget *>(&row), static_cast<QWidget *>(&card)}) {
        shown->show();
        QVERIFY(QTest::qWaitForWindowExposed(shown));
        const QStringList overflowing = captionsThatDoNotFit(shown);
        QVERIFY2(overflowing.isEmpty(), qPrintable(overflowing.join(" | ")));
    }
}

QTEST_MAIN(TestRealDisplay)
#include "TestRealDisplay.moc"
