#include "widgets/PageWarmer.h"

#include <QWidget>
#include <QtTest>

namespace {

class CountingWidget final : public QWidget {
public:
    using QWidget::QWidget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override { ++paints; }
};

} // namespace

// A hidden page is drawn once, widget by widget, and the warmer goes when done or when the page
// is shown first.
class TestPageWarmer : public QObject {
    Q_OBJECT

private slots:
    void drawsEachShownWidgetOnceThenGoes();
    void stopsOnceThePageIsShown();
};

void TestPageWarmer::drawsEachShownWidgetOnceThenGoes()
{
    QWidget page;
    page.resize(200, 200);
    QVector<CountingWidget *> parts;
    for (int index = 0; index < 20; ++index) {
        auto *part = new CountingWidget(&page);
        part->setGeometry(0, index * 10, 200, 10);
        parts.append(part);
    }
    auto *nested = new CountingWidget(parts.first());
    nested->resize(10, 10);
    parts.last()->hide();

    PageWarmer::warm(&page, 0);
    QVERIFY(page.findChild<PageWarmer *>());
    QTRY_VERIFY(!page.findChild<PageWarmer *>());
    // A widget is drawn on its own, without its children, which are drawn in their turn.
    for (int index = 0; index < parts.size() - 1; ++index)
        QCOMPARE(parts.at(index)->paints, 1);
    QCOMPARE(nested->paints, 1);
    QCOMPARE(parts.last()->paints, 0);
    QVERIFY(!page.isVisible());
}

void TestPageWarmer::stopsOnceThePageIsShown()
{
    QWidget page;
    page.resize(200, 200);
    auto *part = new CountingWidget(&page);
    part->resize(10, 10);
    PageWarmer::warm(&page);
    page.show();
    QVERIFY(QTest::qWaitForWindowExposed(&page));
    const int paintsWhenShown = part->paints;
    QTRY_VERIFY(!page.findChild<PageWarmer *>());
    QCOMPARE(part->paints, paintsWhenShown);
}

QTEST_MAIN(TestPageWarmer)
#include "TestPageWarmer.moc"
