#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

// The program started the way an engineer starts it, where no window can be shown.
class TestStartup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void withoutDisplaySaysSoInOneLine_data();
    void withoutDisplaySaysSoInOneLine();
};

namespace {
// An X display number that no server on this machine answers.
QString deadDisplay() {
    for (int n = 917; n < 990; ++n)
        if (!QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)) &&
            !QFileInfo::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)))
            return QStringLiteral(":%1").arg(n);
    return {};
}
} // namespace

void TestStartup::withoutDisplaySaysSoInOneLine_data() {
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("start");
    QTest::newRow("no DISPLAY") << QString() << "vantor: no display to show the window on";
    QTest::newRow("DISPLAY nobody answers") << deadDisplay() << "vantor: cannot open the display (";
}

void TestStartup::withoutDisplaySaysSoInOneLine() {
    QFETCH(QString, display);
    QFETCH(QString, start);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QDir::tempPath());
    program.start(QStringLiteral(VANTOR_PROGRAM), {});
    QVERIFY(program.waitForStarted(10000));
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 1);
    const QString out = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(out.startsWith(start), qPrintable(out));
    QCOMPARE(out.count(QLatin1Char('\n')), 1);
    QVERIFY2(out.endsWith(QLatin1Char('\n')), qPrintable(out));
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
