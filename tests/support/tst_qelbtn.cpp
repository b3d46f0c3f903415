#include "support/TQelBtn.h"

#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <QtTest>

using namespace vantor;

class TestQelBtn : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void startFlashNeedsADownVisibleButton();
    void startFlashTwiceKeepsOneTimer();
    void phasesAlternateWithTheirIntervals();
    void stopFlash();
    void releasedOrDisabledButtonStopsAtItsNextPaint_data();
    void releasedOrDisabledButtonStopsAtItsNextPaint();
    void captionColoursByState_data();
    void captionColoursByState();

private:
    static void tick(TQelBtn* button);
    static QList<QTimer*> timers(TQelBtn* button) { return button->findChildren<QTimer*>(); }

    std::unique_ptr<QWidget> m_window;
    TQelBtn* m_button = nullptr;
};

void TestQelBtn::init() {
    m_window = std::make_unique<QWidget>();
    m_window->resize(300, 200);
    m_button = new TQelBtn("Open", m_window.get());
    m_button->setGroupIndex(1);
    m_button->setAllowAllUp(true);
    m_button->setButtonWidth(TQELButtonWidth::W120);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestQelBtn::cleanup() {
    m_window.reset();
    m_button = nullptr;
}

// Fires the flash timer now instead of waiting for it.
void TestQelBtn::tick(TQelBtn* button) {
    QTimer* timer = button->findChild<QTimer*>();
    QVERIFY(timer);
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
}

void TestQelBtn::startFlashNeedsADownVisibleButton() {
    m_button->startFlash();
    QVERIFY(!m_button->isFlashing());
    QVERIFY(timers(m_button).isEmpty());

    m_button->setChecked(true);
    m_button->hide();
    m_button->startFlash();
    QVERIFY(!m_button->isFlashing());

    m_button->show();
    m_button->startFlash();
    QVERIFY(m_button->isFlashing());
    QCOMPARE(m_button->flashPhase(), 0);
}

void TestQelBtn::startFlashTwiceKeepsOneTimer() {
    m_button->setChecked(true);
    m_button->startFlash();
    tick(m_button);
    QCOMPARE(m_button->flashPhase(), 1);
    m_button->startFlash();
    QCOMPARE(timers(m_button).size(), 1);
    // A second start neither restarts the cycle.
    QCOMPARE(m_button->flashPhase(), 1);
}

void TestQelBtn::phasesAlternateWithTheirIntervals() {
    m_button->setChecked(true);
    m_button->startFlash();
    QTimer* timer = m_button->findChild<QTimer*>();
    QVERIFY(timer);
    QVERIFY(timer->isSingleShot());
    QVERIFY(timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    QCOMPARE(m_button->flashPhase(), 0);
    for (int round = 0; round < 3; ++round) {
        tick(m_button);
        QCOMPARE(m_button->flashPhase(), 1);
        QCOMPARE(timer->interval(), 200);
        QVERIFY(timer->isActive());
        tick(m_button);
        QCOMPARE(m_button->flashPhase(), 0);
        QCOMPARE(timer->interval(), 1000);
        QVERIFY(timer->isActive());
    }
    // And the real timer does fire: phase 1 within well over a second.
    QTRY_COMPARE_WITH_TIMEOUT(m_button->flashPhase(), 1, 5000);
}

void TestQelBtn::stopFlash() {
    m_button->setChecked(true);
    m_button->startFlash();
    tick(m_button);
    m_button->stopFlash();
    QVERIFY(!m_button->isFlashing());
    QCOMPARE(m_button->flashPhase(), 0);
    QVERIFY(timers(m_button).isEmpty());
    m_button->stopFlash(); // twice is harmless

    m_button->startFlash();
    QVERIFY(m_button->isFlashing());
    m_button->stopFlashAndRepaint();
    QVERIFY(!m_button->isFlashing());
    QVERIFY(timers(m_button).isEmpty());
}

void TestQelBtn::releasedOrDisabledButtonStopsAtItsNextPaint_data() {
    QTest::addColumn<bool>("release");
    QTest::addColumn<bool>("disable");
    QTest::newRow("released") << true << false;
    QTest::newRow("disabled while down") << false << true;
}

void TestQelBtn::releasedOrDisabledButtonStopsAtItsNextPaint() {
    QFETCH(bool, release);
    QFETCH(bool, disable);
    m_button->setChecked(true);
    m_button->startFlash();
    tick(m_button);
    if (release)
        m_button->setChecked(false);
    if (disable)
        m_button->setEnabled(false);
    // Not before it is drawn.
    QVERIFY(m_button->isFlashing());
    m_button->repaint();
    QVERIFY(!m_button->isFlashing());
    QCOMPARE(m_button->flashPhase(), 0);
    QVERIFY(timers(m_button).isEmpty());
}

void TestQelBtn::captionColoursByState_data() {
    QTest::addColumn<bool>("down");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("phase");
    QTest::addColumn<QColor>("caption");
    QTest::addColumn<QColor>("shadow");
    const QColor lime(0, 255, 0), green(0, 128, 0), grey(128, 128, 128);
    QTest::newRow("up") << false << true << 0 << QColor(Qt::black) << QColor(Qt::white);
    QTest::newRow("down, phase 0") << true << true << 0 << lime << green;
    QTest::newRow("down, phase 1") << true << true << 1 << green << QColor(Qt::black);
    QTest::newRow("disabled, down") << true << false << 0 << green << lime;
    QTest::newRow("disabled, up") << false << false << 0 << grey << QColor(Qt::white);
}

// The caption is drawn at +1 over its shadow at +3: the first text pixel from the top left
// is the caption's, the last one towards the bottom right the shadow's.
void TestQelBtn::captionColoursByState() {
    QFETCH(bool, down);
    QFETCH(bool, enabled);
    QFETCH(int, phase);
    QFETCH(QColor, caption);
    QFETCH(QColor, shadow);

    QFont font = m_button->font();
    font.setPixelSize(20);
    font.setBold(true);
    font.setStyleStrategy(QFont::NoAntialias);
    m_button->setFont(font);
    m_button->setChecked(down);
    if (down) {
        m_button->startFlash();
        for (int i = 0; i < phase; ++i)
            tick(m_button);
    }
    m_button->setEnabled(enabled);

    QImage image(m_button->size(), QImage::Format_RGB32);
    m_button->render(&image);
    const QRgb face = m_button->palette().color(QPalette::Button).rgb();
    QList<QPoint> text;
    QHash<QRgb, int> counts;
    for (int y = 3; y < image.height() - 3; ++y) {
        for (int x = 3; x < image.width() - 3; ++x) {
            const QRgb c = image.pixel(x, y) | 0xff000000;
            if (c != face) {
                text.append({x, y});
                ++counts[c];
            }
        }
    }
    QVERIFY2(text.size() > 40, "no caption drawn");
    QCOMPARE(QColor(image.pixel(text.first())), caption);
    QCOMPARE(QColor(image.pixel(text.last())), shadow);
    // Nothing but these two colours forms the caption.
    QCOMPARE(counts.size(), 2);
    QVERIFY(counts.value(caption.rgb()) > 20);
    QVERIFY(counts.value(shadow.rgb()) > 20);
    // The caption stays centred by the same rule at every state.
    const QFontMetrics metrics(font);
    const int x = (m_button->width() - metrics.horizontalAdvance("Open") - 1) / 2;
    QVERIFY(text.first().y() >= (m_button->height() - metrics.height() - 1) / 2 + 1);
    int left = image.width();
    for (const QPoint& p : text)
        left = std::min(left, p.x());
    QVERIFY2(left >= x + 1 && left <= x + 4, qPrintable(QString("%1 vs %2").arg(left).arg(x)));
}

QTEST_MAIN(TestQelBtn)
#include "tst_qelbtn.moc"
