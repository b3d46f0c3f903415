#include "support/Emboss.h"
#include "support/TQelGroupBox.h"
#include "support/TQelLabel.h"

#include <QApplication>
#include <QImage>
#include <QtTest>

using namespace vantor;

class TestEmboss : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void offsetFromFontSize_data();
    void offsetFromFontSize();
    void coloursFromTheFontColour_data();
    void coloursFromTheFontColour();
    void labelSizesItselfAndDrawsTwice();
    void labelWithoutAutoSizePaintsPlain();
    void opaqueLabelFillsItsBackground();
    void groupBoxCaptionDrawnTwice();

private:
    static QHash<QRgb, int> colours(const QImage& image, const QRect& area);
};

void TestEmboss::offsetFromFontSize_data() {
    QTest::addColumn<int>("pointSize");
    QTest::addColumn<int>("pixelSize");
    QTest::addColumn<int>("d");
    QTest::newRow("8 pt") << 8 << 0 << 1;
    QTest::newRow("23 pt") << 23 << 0 << 1;
    QTest::newRow("24 pt") << 24 << 0 << 2;
    QTest::newRow("48 pt") << 48 << 0 << 3;
    QTest::newRow("30 px") << 0 << 30 << 2;
}

void TestEmboss::offsetFromFontSize() {
    QFETCH(int, pointSize);
    QFETCH(int, pixelSize);
    QFETCH(int, d);
    QFont font;
    if (pointSize)
        font.setPointSize(pointSize);
    else
        font.setPixelSize(pixelSize);
    QCOMPARE(emboss::offset(font), d);
}

void TestEmboss::coloursFromTheFontColour_data() {
    QTest::addColumn<QColor>("font");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QColor>("firstColour");
    QTest::addColumn<QPoint>("firstAt");
    QTest::addColumn<QColor>("secondColour");
    QTest::addColumn<QPoint>("secondAt");
    const QColor background(200, 200, 200);
    const QPoint o(0, 0), s(2, 2);
    const QPalette system = QApplication::palette();
    QTest::newRow("black") << QColor(Qt::black) << true << QColor(Qt::white) << o << QColor(Qt::black) << s;
    QTest::newRow("window text") << system.color(QPalette::WindowText) << true << QColor(Qt::white) << o
                                 << QColor(Qt::black) << s;
    QTest::newRow("white") << QColor(Qt::white) << true << QColor(Qt::black) << s << QColor(Qt::white) << o;
    QTest::newRow("highlighted text") << system.color(QPalette::HighlightedText) << true << QColor(Qt::black)
                                      << s << QColor(Qt::white) << o;
    QTest::newRow("red") << QColor(255, 0, 0) << true << QColor(0, 255, 255) << o << QColor(255, 0, 0) << s;
    QTest::newRow("navy") << QColor(0, 0, 128) << true << QColor(255, 255, 127) << o << QColor(0, 0, 128)
                          << s;
    QTest::newRow("disabled black") << QColor(Qt::black) << false << QColor(Qt::black) << o << background
                                    << s;
    QTest::newRow("disabled white") << QColor(Qt::white) << false << QColor(Qt::black) << s << background
                                    << o;
    QTest::newRow("disabled red") << QColor(255, 0, 0) << false << QColor(Qt::black) << o << background << s;
}

void TestEmboss::coloursFromTheFontColour() {
    QFETCH(QColor, font);
    QFETCH(bool, enabled);
    QFETCH(QColor, firstColour);
    QFETCH(QPoint, firstAt);
    QFETCH(QColor, secondColour);
    QFETCH(QPoint, secondAt);
    const emboss::Plan plan = emboss::plan(font, QColor(200, 200, 200), enabled, 2);
    QCOMPARE(plan.first.colour, firstColour);
    QCOMPARE(plan.first.at, firstAt);
    QCOMPARE(plan.second.colour, secondColour);
    QCOMPARE(plan.second.at, secondAt);
}

QHash<QRgb, int> TestEmboss::colours(const QImage& image, const QRect& area) {
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000];
    return counts;
}

static QFont crispFont(int pointSize) {
    QFont font;
    font.setPointSize(pointSize);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    return font;
}

void TestEmboss::labelSizesItselfAndDrawsTwice() {
    TQelLabel label("Remote Folder");
    label.setFont(crispFont(26));
    const int d = emboss::offset(label.font());
    QCOMPARE(d, 2);
    const QSize text = QFontMetrics(label.font()).size(0, "Remote Folder");
    QCOMPARE(label.size(), text + QSize(d, d));
    label.setText("IP");
    QCOMPARE(label.size(), QFontMetrics(label.font()).size(0, "IP") + QSize(d, d));

    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    palette.setColor(QPalette::Window, QColor(10, 20, 30));
    label.setPalette(palette);
    QImage image(label.size(), QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    label.render(&image);
    const QHash<QRgb, int> counts = colours(image, image.rect());
    QVERIFY(counts.value(qRgb(255, 255, 255)) > 20);
    QVERIFY(counts.value(qRgb(0, 0, 0)) > 20);
    QCOMPARE(counts.size(), 3);
}

void TestEmboss::labelWithoutAutoSizePaintsPlain() {
    TQelLabel label("Remote Folder");
    label.setFont(crispFont(26));
    label.setAutoSize(false);
    label.resize(400, 60);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    label.setPalette(palette);
    QImage image(label.size(), QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    label.render(&image);
    const QHash<QRgb, int> counts = colours(image, image.rect());
    QVERIFY(counts.value(qRgb(0, 0, 0)) > 20);
    QCOMPARE(counts.value(qRgb(255, 255, 255)), 0);
    QCOMPARE(label.size(), QSize(400, 60));
}

void TestEmboss::opaqueLabelFillsItsBackground() {
    TQelLabel label("x");
    QVERIFY(label.transparent());
    QPalette palette = label.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    label.setPalette(palette);
    label.setTransparent(false);
    QImage image(label.size(), QImage::Format_RGB32);
    image.fill(Qt::red);
    // Without the window background a top-level widget would get anyway.
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(QColor(image.pixel(label.width() - 1, 0)), QColor(10, 200, 30));
    label.setTransparent(true);
    image.fill(Qt::red);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QCOMPARE(QColor(image.pixel(label.width() - 1, 0)), QColor(Qt::red));
}

void TestEmboss::groupBoxCaptionDrawnTwice() {
    TQelGroupBox box("CPU Reset ");
    box.setFont(crispFont(26));
    box.resize(400, 120);
    QPalette palette = box.palette();
    palette.setColor(QPalette::WindowText, QColor(255, 0, 0));
    palette.setColor(QPalette::Window, QColor(10, 20, 30));
    box.setPalette(palette);
    QImage image(box.size(), QImage::Format_RGB32);
    image.fill(QColor(10, 20, 30));
    box.render(&image);
    const int d = emboss::offset(box.font());
    const QSize text = QFontMetrics(box.font()).size(0, "CPU Reset ");
    const QHash<QRgb, int> caption = colours(image, QRect(8, 0, text.width() + d, text.height() + d));
    QVERIFY(caption.value(qRgb(0, 255, 255)) > 20); // the inverse first
    QVERIFY(caption.value(qRgb(255, 0, 0)) > 20);
    QCOMPARE(caption.size(), 3);
    // Disabled: black, then the background colour.
    box.setEnabled(false);
    image.fill(QColor(10, 20, 30));
    box.render(&image);
    const QHash<QRgb, int> disabled = colours(image, QRect(8, 0, text.width() + d, text.height() + d));
    QVERIFY(disabled.value(qRgb(0, 0, 0)) > 20);
    QCOMPARE(disabled.value(qRgb(255, 0, 0)), 0);
}

QTEST_MAIN(TestEmboss)
#include "tst_emboss.moc"
