#include "support/TQELSpeedButton.h"

#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

using namespace vantor;

Q_DECLARE_METATYPE(vantor::TQELButtonWidth)
Q_DECLARE_METATYPE(vantor::TQELButtonHeight)

class TestQELSpeedButton : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void newButtonIs40By40();
    void sizeSteps_data();
    void sizeSteps();
    void settingTheSameStepChangesNothing();
    void groupReleasesTheOthers();
    void downButtonWithoutAllowAllUpStaysDown();
    void downButtonWithAllowAllUpGoesUp();
    void allowAllUpIsSharedByTheGroup();
    void plainButtonIsNoToggle();
    void joiningAGroupWhileDownReleasesTheOthers();
};

void TestQELSpeedButton::newButtonIs40By40() {
    TQELSpeedButton b("Open");
    QCOMPARE(b.size(), QSize(40, 40));
    QCOMPARE(b.buttonHeight(), TQELButtonHeight::H40);
    QCOMPARE(b.buttonWidth(), TQELButtonWidth::W40);
    QCOMPARE(b.focusPolicy(), Qt::NoFocus);
}

void TestQELSpeedButton::sizeSteps_data() {
    QTest::addColumn<TQELButtonWidth>("width");
    QTest::addColumn<TQELButtonHeight>("height");
    QTest::addColumn<QSize>("pixels");
    QTest::newRow("W60 H40") << TQELButtonWidth::W60 << TQELButtonHeight::H40 << QSize(60, 40);
    QTest::newRow("W80 H60") << TQELButtonWidth::W80 << TQELButtonHeight::H60 << QSize(80, 60);
    QTest::newRow("W120 H80") << TQELButtonWidth::W120 << TQELButtonHeight::H80 << QSize(120, 80);
    QTest::newRow("W160 H40") << TQELButtonWidth::W160 << TQELButtonHeight::H40 << QSize(160, 40);
    QTest::newRow("W240 H60") << TQELButtonWidth::W240 << TQELButtonHeight::H60 << QSize(240, 60);
}

void TestQELSpeedButton::sizeSteps() {
    QFETCH(TQELButtonWidth, width);
    QFETCH(TQELButtonHeight, height);
    QFETCH(QSize, pixels);
    QWidget parent;
    auto* b = new TQELSpeedButton("Open", &parent);
    b->setButtonWidth(width);
    b->setButtonHeight(height);
    QCOMPARE(b->size(), pixels);
    QCOMPARE(b->sizeHint(), pixels);
    // The size holds in a layout too.
    b->resize(300, 300);
    QCOMPARE(b->size(), pixels);
    b->setButtonWidth(TQELButtonWidth::W40);
    b->setButtonHeight(TQELButtonHeight::H40);
    QCOMPARE(b->size(), QSize(40, 40));
}

void TestQELSpeedButton::settingTheSameStepChangesNothing() {
    TQELSpeedButton b;
    b.setFixedSize(55, 33); // as a form designer might have left it
    b.setButtonWidth(TQELButtonWidth::W40);
    b.setButtonHeight(TQELButtonHeight::H40);
    QCOMPARE(b.size(), QSize(55, 33));
    b.setButtonWidth(TQELButtonWidth::W80);
    QCOMPARE(b.size(), QSize(80, 33));
}

void TestQELSpeedButton::groupReleasesTheOthers() {
    QWidget parent;
    QWidget elsewhere;
    auto* a = new TQELSpeedButton("A", &parent);
    auto* b = new TQELSpeedButton("B", &parent);
    auto* otherGroup = new TQELSpeedButton("C", &parent);
    auto* otherParent = new TQELSpeedButton("D", &elsewhere);
    for (TQELSpeedButton* x : {a, b, otherParent})
        x->setGroupIndex(1);
    otherGroup->setGroupIndex(2);
    otherGroup->setChecked(true);
    otherParent->setChecked(true);

    QSignalSpy aToggled(a, &QAbstractButton::toggled);
    QSignalSpy bClicked(b, &QAbstractButton::clicked);
    a->click();
    QVERIFY(a->isChecked());
    b->click();
    QVERIFY(b->isChecked());
    QVERIFY(!a->isChecked());
    QCOMPARE(aToggled.size(), 2);
    QCOMPARE(bClicked.size(), 1);
    QCOMPARE(bClicked.first().first().toBool(), true);
    // Another group and another parent are left alone.
    QVERIFY(otherGroup->isChecked());
    QVERIFY(otherParent->isChecked());
    // Setting the state from code keeps the group exclusive too.
    a->setChecked(true);
    QVERIFY(!b->isChecked());
}

void TestQELSpeedButton::downButtonWithoutAllowAllUpStaysDown() {
    QWidget parent;
    auto* a = new TQELSpeedButton("A", &parent);
    a->setGroupIndex(1);
    a->click();
    QVERIFY(a->isChecked());
    QSignalSpy toggled(a, &QAbstractButton::toggled);
    a->click();
    QVERIFY(a->isChecked());
    QCOMPARE(toggled.size(), 0);
    QTest::mouseClick(a, Qt::LeftButton);
    QVERIFY(a->isChecked());
}

void TestQELSpeedButton::downButtonWithAllowAllUpGoesUp() {
    QWidget parent;
    auto* a = new TQELSpeedButton("A", &parent);
    a->setGroupIndex(1);
    a->setAllowAllUp(true);
    QTest::mouseClick(a, Qt::LeftButton);
    QVERIFY(a->isChecked());
    QSignalSpy clicked(a, &QAbstractButton::clicked);
    QTest::mouseClick(a, Qt::LeftButton);
    QVERIFY(!a->isChecked());
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().first().toBool(), false);
}

void TestQELSpeedButton::allowAllUpIsSharedByTheGroup() {
    QWidget parent;
    auto* a = new TQELSpeedButton("A", &parent);
    auto* b = new TQELSpeedButton("B", &parent);
    a->setGroupIndex(3);
    b->setGroupIndex(3);
    a->setAllowAllUp(true);
    QVERIFY(b->allowAllUp());
    auto* late = new TQELSpeedButton("L", &parent);
    late->setGroupIndex(3);
    QVERIFY(late->allowAllUp());
    b->click();
    b->click();
    QVERIFY(!b->isChecked());
}

void TestQELSpeedButton::plainButtonIsNoToggle() {
    QWidget parent;
    auto* a = new TQELSpeedButton("A", &parent);
    QSignalSpy clicked(a, &QAbstractButton::clicked);
    a->click();
    QVERIFY(!a->isChecked());
    QCOMPARE(clicked.size(), 1);
    a->setGroupIndex(1);
    a->click();
    QVERIFY(a->isChecked());
    a->setGroupIndex(0);
    QVERIFY(!a->isCheckable());
    QVERIFY(!a->isChecked());
}

void TestQELSpeedButton::joiningAGroupWhileDownReleasesTheOthers() {
    QWidget parent;
    auto* a = new TQELSpeedButton("A", &parent);
    auto* b = new TQELSpeedButton("B", &parent);
    a->setGroupIndex(1);
    b->setGroupIndex(2);
    a->setChecked(true);
    b->setChecked(true);
    b->setGroupIndex(1);
    QVERIFY(b->isChecked());
    QVERIFY(!a->isChecked());
}

QTEST_MAIN(TestQELSpeedButton)
#include "tst_qelspeedbutton.moc"
