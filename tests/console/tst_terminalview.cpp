#include "console/widgets/TerminalView.h"
#include "support/Wait.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>

using namespace std::chrono_literals;
using namespace vantor;
using Position = TerminalView::Position;

// The terminal view on the offscreen platform.
class TestTerminalView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void showsTextByLines();
    void followsTheEndOnlyAtTheBottom();
    void doubleClickSelectsTheWordAlone_data();
    void doubleClickSelectsTheWordAlone();
    void dragSelectsAndLeftReleaseCopies();
    void clickWithoutSelectionKeepsClipboard();
    void selectionAcrossLines();
    void rightReleaseSignalsThenOffersSave();
    void keyReleasesAreHandedOn();
    void tabStaysInTheView();
    void paintsJapaneseTabsAndSelection();
    void clearEmptiesEverything();
    void accessibleTextIsTheShownLinesAndCaret();

private:
    QPoint centerOf(Position p) { return m_view->characterRect(p).center(); }

    std::unique_ptr<QWidget> m_window;
    TerminalView* m_view = nullptr;
    QLineEdit* m_edit = nullptr;
};

void TestTerminalView::init() {
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_view = new TerminalView(m_window.get());
    m_edit = new QLineEdit(m_window.get());
    layout->addWidget(m_view);
    layout->addWidget(m_edit);
    m_window->resize(640, 400);
    m_window->show();
    m_window->activateWindow();
    m_view->setFocus();
    QVERIFY(pumpUntil([&] { return m_view->hasFocus(); }, 5s));
    QApplication::clipboard()->setText(QStringLiteral("before"));
}

void TestTerminalView::cleanup() {
    m_window.reset();
}

void TestTerminalView::showsTextByLines() {
    m_view->appendText(u"OS-9\r\n$ dirx");
    m_view->deleteLastChar();
    m_view->appendLine(u"Disconnected");
    QCOMPARE(m_view->lines(), (QStringList{"OS-9", "$ dir", "Disconnected", ""}));
    QCOMPARE(m_view->lineCount(), 4);
    QCOMPARE(m_view->lastLine(), QString());
}

void TestTerminalView::followsTheEndOnlyAtTheBottom() {
    QScrollBar* bar = m_view->verticalScrollBar();
    for (int i = 0; i < 200; ++i)
        m_view->appendText(QStringLiteral("line %1\r\n").arg(i));
    m_view->refreshNow();
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());

    bar->setValue(10); // the engineer scrolls back
    m_view->appendText(u"more\r\n");
    m_view->refreshNow();
    QCOMPARE(bar->value(), 10);

    bar->setValue(bar->maximum());
    m_view->appendText(u"again\r\n");
    QVERIFY(pumpUntil(
        [&] { return bar->value() == bar->maximum() && bar->maximum() == 202 - bar->pageStep(); }, 2s));
}

void TestTerminalView::doubleClickSelectsTheWordAlone_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("selected");
    QTest::newRow("word followed by spaces") << "chd  /h0/CMDS   -e" << 7 << "/h0/CMDS";
    QTest::newRow("first word") << "dir -e" << 1 << "dir";
    QTest::newRow("last word of the line") << "free /h0" << 6 << "/h0";
    QTest::newRow("word followed by a tab") << "a\tbcd\tx" << 0 << "a";
    QTest::newRow("on blanks") << "ab   cd" << 3 << "";
    QTest::newRow("Japanese word") << QString::fromUtf8("ファイル 一覧") << 1
                                   << QString::fromUtf8("ファイル");
}

void TestTerminalView::doubleClickSelectsTheWordAlone() {
    QFETCH(QString, line);
    QFETCH(int, column);
    QFETCH(QString, selected);
    m_view->appendText(line);
    m_view->refreshNow();
    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, centerOf({0, column}));
    QCOMPARE(m_view->selectedText(), selected);
    // The release that ends the double-click copies the word.
    QTest::mouseRelease(m_view->viewport(), Qt::LeftButton, {}, centerOf({0, column}));
    QCOMPARE(QApplication::clipboard()->text(), selected.isEmpty() ? QStringLiteral("before") : selected);
}

void TestTerminalView::dragSelectsAndLeftReleaseCopies() {
    m_view->appendText(u"$ procs -e\r\nhello world");
    m_view->refreshNow();
    QWidget* vp = m_view->viewport();
    const QRect first = m_view->characterRect({1, 0});
    const QRect last = m_view->characterRect({1, 4});
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(first.left() + 1, first.center().y()));
    QMouseEvent move(QEvent::MouseMove, QPointF(last.right(), last.center().y()),
                     vp->mapToGlobal(QPointF(last.right(), last.center().y())), Qt::NoButton, Qt::LeftButton,
                     {});
    QApplication::sendEvent(vp, &move);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before")); // not before the release
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(last.right(), last.center().y()));
    QCOMPARE(m_view->selectedText(), QStringLiteral("hello"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("hello"));
}

void TestTerminalView::clickWithoutSelectionKeepsClipboard() {
    m_view->appendText(u"text");
    m_view->refreshNow();
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, centerOf({0, 1}));
    QVERIFY(!m_view->hasSelection());
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
}

void TestTerminalView::selectionAcrossLines() {
    m_view->appendText(u"one\r\ntwo\r\nthree");
    m_view->setSelection({0, 1}, {2, 2});
    QCOMPARE(m_view->selectedText(), QStringLiteral("ne\ntwo\nth"));
    m_view->setSelection({2, 2}, {0, 1}); // backwards
    QCOMPARE(m_view->selectedText(), QStringLiteral("ne\ntwo\nth"));
    m_view->copySelection();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("ne\ntwo\nth"));
}

void TestTerminalView::rightReleaseSignalsThenOffersSave() {
    QSignalSpy right(m_view, &TerminalView::rightButtonReleased);
    QSignalSpy save(m_view, &TerminalView::saveRequested);
    m_view->appendText(u"x");
    m_view->refreshNow();
    QTest::mouseClick(m_view->viewport(), Qt::RightButton, {}, centerOf({0, 0}));
    QCOMPARE(right.count(), 1);
    auto* menu = m_view->findChild<QMenu*>(QStringLiteral("PopupMenuTelnetSerial"));
    QVERIFY(menu);
    QVERIFY(pumpUntil([&] { return menu->isVisible(); }, 2s));
    QAction* item = menu->findChild<QAction*>(QStringLiteral("Save1"));
    QVERIFY(item);
    QCOMPARE(item->text(), QStringLiteral("Save..."));
    item->trigger();
    QCOMPARE(save.count(), 1);
    menu->hide();
}

void TestTerminalView::keyReleasesAreHandedOn() {
    QList<std::pair<int, QString>> released;
    connect(m_view, &TerminalView::keyReleased, this, [&](QKeyEvent* e) {
        released.append({e->key(), e->text()});
    });
    QTest::keyClick(m_view, Qt::Key_D);
    QTest::keyClick(m_view, Qt::Key_Return);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_D, Qt::NoModifier, QStringLiteral("d"), true);
    QApplication::sendEvent(m_view, &repeat); // auto-repeat: the press already counted
    QCOMPARE(released.size(), 2);
    QCOMPARE(released.at(0).first, int(Qt::Key_D));
    QCOMPARE(released.at(1).first, int(Qt::Key_Return));
    QVERIFY(m_view->lines().isEmpty()); // nothing typed into the view itself
}

void TestTerminalView::tabStaysInTheView() {
    int released = 0;
    connect(m_view, &TerminalView::keyReleased, this,
            [&](QKeyEvent* e) { released += e->key() == Qt::Key_Tab; });
    QTest::keyClick(m_view, Qt::Key_Tab);
    QVERIFY(m_view->hasFocus());
    QCOMPARE(released, 1);
}

void TestTerminalView::paintsJapaneseTabsAndSelection() {
    m_view->appendText(QString::fromUtf8("日本語\tｶﾅ\x01 end\r\n") + QString(5000, u'w') +
                       QStringLiteral("\r\nlast"));
    m_view->setSelection({0, 1}, {2, 2});
    m_view->refreshNow();
    const QImage picture = m_view->viewport()->grab().toImage();
    QVERIFY(!picture.isNull());
    // The tab moves the text after it to the next tab stop.
    const QRect afterTab = m_view->characterRect({0, 4});
    const QRect beforeTab = m_view->characterRect({0, 2});
    QVERIFY(afterTab.left() > beforeTab.right());
    QVERIFY(m_view->horizontalScrollBar()->maximum() > 0);
}

void TestTerminalView::clearEmptiesEverything() {
    m_view->appendText(u"a\r\nb");
    m_view->setSelection({0, 0}, {1, 1});
    m_view->clear();
    QVERIFY(m_view->lines().isEmpty());
    QVERIFY(!m_view->hasSelection());
    QCOMPARE(m_view->verticalScrollBar()->maximum(), 0);
}

// Screen readers and outside test tools read the view through its accessible text.
void TestTerminalView::accessibleTextIsTheShownLinesAndCaret() {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(m_view);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QVERIFY(iface->state().readOnly);
    QAccessibleTextInterface* text = iface->textInterface();
    QVERIFY(text);

    m_view->appendText(u"OS-9/68K\r\n$ dir");
    m_view->refreshNow();
    QCOMPARE(text->text(0, text->characterCount()), QStringLiteral("OS-9/68K\n$ dir"));
    QCOMPARE(text->cursorPosition(), text->characterCount()); // after "$ dir"
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("OS-9/68K\n$ dir"));

    m_view->setSelection({0, 5}, {1, 1});
    int start = -1;
    int end = -1;
    QCOMPARE(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    QCOMPARE(text->text(start, end), QStringLiteral("68K\n$"));
    const QRect cell = text->characterRect(9); // "$"
    QCOMPARE(text->offsetAtPoint(cell.center()), 9);

    // Scrolled back, the text is what is on screen; the caret, below it, is at its end.
    for (int i = 0; i < 200; ++i)
        m_view->appendText(QStringLiteral("\r\nline %1").arg(i));
    m_view->refreshNow();
    m_view->verticalScrollBar()->setValue(0);
    const QStringList shown = m_view->shownLines();
    QVERIFY(shown.size() > 5 && shown.size() < 200);
    QCOMPARE(shown.first(), QStringLiteral("OS-9/68K"));
    QCOMPARE(text->text(0, text->characterCount()), shown.join('\n'));
    QCOMPARE(text->cursorPosition(), text->characterCount());
}

QTEST_MAIN(TestTerminalView)
#include "tst_terminalview.moc"
