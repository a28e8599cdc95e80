#include "DemoClient.h"
#include "FakePrograms.h"
#include "MainWindowDriver.h"
#include "app/MainWindow.h"
#include "servers/RecomendedServerItem.h"
#include "servers/ServerListItem.h"
#include "servers/ServersWindow.h"
#include "storage/AppSettings.h"
#include "types/ServerData.h"
#include "ui/AccountWindow.h"
#include "ui/MainForm.h"
#include "ui/SettingsWindow.h"
#include "vpn/VpnManager.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTextDocument>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

// WCAG 2.1: relative luminance and the contrast ratio of two colours.
double luminance(const QColor &colour)
{
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double first = luminance(a);
    const double second = luminance(b);
    return (std::max(first, second) + 0.05) / (std::min(first, second) + 0.05);
}

// Large text (24 px, or 18.66 px bold) needs 3:1; all other text 4.5:1.
double requiredRatio(const QFont &font)
{
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : int(font.pointSizeF() * 4 / 3);
    const bool large = pixels >= 24 || (pixels >= 19 && font.weight() >= QFont::Bold);
    return large ? 3.0 : 4.5;
}

// A text colour over a translucent one is what the member sees: blended with what lies under.
QColor textColourOver(const QColor &text, const QColor &under)
{
    const double alpha = text.alphaF();
    return QColor::fromRgbF(text.redF() * alpha + under.redF() * (1 - alpha),
                            text.greenF() * alpha + under.greenF() * (1 - alpha),
                            text.blueF() * alpha + under.blueF() * (1 - alpha));
}

struct Reading {
    QString text;
    double ratio = 0;
    double required = 0;
};

} // namespace

// Every text a member reads on the pages, against what its style sheets paint beneath it. The
// text colour is the one the style sheets give the widget (Qt's style sheet style puts it in the
// palette); the background is what the window paints where the text stands with the text taken
// away, so that translucent cards over gradients count as they show. The ratio is the lowest
// over the band the text runs through (a tenth of its pixels left aside for the neighbouring
// icons). Disabled controls are exempt, as WCAG has them.
class TestContrast : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyTextMeetsTheContrastItNeeds();

private:
    void readPage(QWidget *page, const QString &name);
    // The lowest ratio of colour against what the window paints at control while blank() has
    // taken its text away (restore() puts it back).
    Reading read(QWidget *control, const QString &text, const QColor &colour,
                 const std::function<void()> &blank, const std::function<void()> &restore);

    std::unique_ptr<DemoService> demo;
    std::unique_ptr<FakePrograms> fakes;
    QTemporaryDir home;
    std::unique_ptr<MainWindow> window;
    QStringList failures;
    int textsRead = 0;
};

void TestContrast::initTestCase()
{
    demo = startDemoClient(home);
    QVERIFY2(demo->isRunning(), qPrintable(demo->log()));
    fakes = std::make_unique<FakePrograms>();
    fakes->script("ping", "STDOUT", "rtt min/avg/max/mdev = 1/2/3/1 ms\n");
    fakes->script("wg", "STDOUT", "peer\t4096\t1024\n");
}

void TestContrast::cleanupTestCase()
{
    window.reset();
    fakes.reset();
}

Reading TestContrast::read(QWidget *control, const QString &text, const QColor &colour,
                           const std::function<void()> &blank, const std::function<void()> &restore)
{
    QWidget *top = control->window();
    const QRect area(control->mapTo(top, QPoint(0, 0)), control->size());
    blank();
    const QImage beneath = top->grab(area).toImage();
    restore();
    // The band the text runs through, clear of rounded corners.
    const QRect band(beneath.width() / 8, beneath.height() / 4, beneath.width() * 3 / 4,
                     std::max(1, beneath.height() / 2));
    QVector<double> ratios;
    for (int y = band.top(); y <= band.bottom(); ++y) {
        for (int x = band.left(); x <= band.right(); ++x) {
            const QColor under = beneath.pixelColor(x, y);
            ratios << contrast(textColourOver(colour, under), under);
        }
    }
    std::sort(ratios.begin(), ratios.end());
    Reading reading;
    reading.text = text;
    reading.ratio = ratios.isEmpty() ? 0 : ratios.at(ratios.size() / 10);
    reading.required = requiredRatio(control->font());
    return reading;
}

void TestContrast::readPage(QWidget *page, const QString &name)
{
    QVERIFY(QTest::qWaitForWindowExposed(page->window()));
    QVector<QPair<QWidget *, Reading>> readings;
    for (QWidget *control : page->findChildren<QWidget *>()) {
        if (!control->isVisible() || !control->isEnabled() || control->size().isEmpty() ||
            !control->window()->rect().intersects(
                QRect(control->mapTo(control->window(), QPoint()), control->size())))
            continue;
        control->ensurePolished();
        const QPalette palette = control->palette();
        if (auto *label = qobject_cast<QLabel *>(control); label && !label->text().isEmpty()) {
            const QString text = label->text();
            QTextDocument plain;
            plain.setHtml(text);
            readings.append(
                {control, read(
                              control, plain.toPlainText(), palette.color(QPalette::WindowText),
                              [label] { label->setText(QString()); },
                              [label, text] { label->setText(text); })});
        } else if (auto *button = qobject_cast<QPushButton *>(control);
                   button && !button->text().isEmpty()) {
            const QString text = button->text();
            readings.append({control, read(
                                          control, text, palette.color(QPalette::ButtonText),
                                          [button] { button->setText(QString()); },
                                          [button, text] { button->setText(text); })});
        } else if (auto *field = qobject_cast<QLineEdit *>(control)) {
            const QString text = field->text();
            const QString placeholder = field->placeholderText();
            const bool empty = text.isEmpty();
            readings.append(
                {control, read(
                              control, empty ? placeholder : text,
                              palette.color(empty ? QPalette::PlaceholderText : QPalette::Text),
                              [field] {
                                  field->setText(QString());
                                  field->setPlaceholderText(QString());
                              },
                              [field, text, placeholder] {
                                  field->setText(text);
                                  field->setPlaceholderText(placeholder);
                              })});
        } else if (auto *choice = qobject_cast<QComboBox *>(control)) {
            const QString text = choice->currentText();
            const int index = choice->currentIndex();
            readings.append(
                {control, read(
                              control, text, palette.color(QPalette::ButtonText),
                              [choice, index] { choice->setItemText(index, QString()); },
                              [choice, index, text] { choice->setItemText(index, text); })});
        }
    }
    for (const auto &[control, reading] : qAsConst(readings)) {
        ++textsRead;
        if (reading.ratio + 0.005 < reading.required)
            failures << QStringLiteral("%1: %2 \"%3\" %4:1, needs %5:1")
                            .arg(name, control->objectName(), reading.text.left(40))
                            .arg(reading.ratio, 0, 'f', 2)
                            .arg(reading.required, 0, 'f', 1);
    }
}

void TestContrast::everyTextMeetsTheContrastItNeeds()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QTRY_COMPARE_WITH_TIMEOUT(currentPage(*window), QStringLiteral("pageLogin"), 10000);
    readPage(window.get(), "login");
    QVERIFY(signInThroughLoginPage(*window, "demo@corvane.test", "wrong-password") == false);
    readPage(window.get(), "login with an error");

    QVERIFY(signInThroughLoginPage(*window, "demo@corvane.test", "demo-password"));
    auto *home = window->findChild<MainForm *>();
    QTRY_VERIFY_WITH_TIMEOUT(
        window->findChild<QWidget *>("widgetRecomendedLocation_3")->isVisible(), 10000);
    readPage(home, "home");
    QVERIFY(clickConnectButton(*window));
    QTRY_COMPARE_WITH_TIMEOUT(home->tunnel()->connectionState(), int(ConnectionState::Connected),
                              10000);
    readPage(home, "home connected");

    for (const char *opener :
         {"on_pushButtonExploreLocations_clicked", "on_pushButtonSettingsNav_clicked",
          "on_pushButtonAccountNav_clicked"}) {
        QVERIFY(QMetaObject::invokeMethod(home, opener));
        for (auto *page : window->findChildren<NavigablePage *>()) {
            if (page->isVisible()) {
                readPage(page, QLatin1String(page->metaObject()->className()));
                page->hide();
            }
        }
    }

    // A list row, as the delegate paints it, and its open editor.
    ServerData server = home->selectedServer();
    server.ping = 20;
    ServerListItem row(server, nullptr);
    row.show();
    readPage(&row, "server row");

    QVERIFY2(textsRead > 40, "too few texts were read to trust the check");
    for (const QString &failure : qAsConst(failures))
        qWarning().noquote() << failure;
    QVERIFY2(failures.isEmpty(), "texts below the contrast they need (listed above)");
}

QTEST_MAIN(TestContrast)
#include "TestContrast.moc"
