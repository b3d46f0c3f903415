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
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
    void refusesBadCommandLineWithoutDisplay_data();
    void refusesBadCommandLineWithoutDisplay();
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

QProcessEnvironment withoutDisplay() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return env;
}

// Starts the program and lets it run to its own end; false when it did not start, did not
// end in time or crashed.
bool runToEnd(QProcess& program, const QStringList& arguments, const QProcessEnvironment& env) {
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QDir::tempPath());
    program.start(QStringLiteral(VANTOR_PROGRAM), arguments);
    return program.waitForStarted(10000) && program.waitForFinished(20000) &&
           program.exitStatus() == QProcess::NormalExit;
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
    QProcessEnvironment env = withoutDisplay();
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    QProcess program;
    QVERIFY(runToEnd(program, {}, env));
    QCOMPARE(program.exitCode(), 1);
    const QString out = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(out.startsWith(start), qPrintable(out));
    QCOMPARE(out.count(QLatin1Char('\n')), 1);
    QVERIFY2(out.endsWith(QLatin1Char('\n')), qPrintable(out));
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

// Scripts and package checks ask for the version or the usage on machines without a screen.
void TestStartup::answersWithoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("expected");
    const QString version = QStringLiteral("Vantor " VANTOR_VERSION "\n");
    QTest::newRow("--version") << QStringList{"--version"} << version;
    QTest::newRow("-v") << QStringList{"-v"} << version;
    QTest::newRow("--version after a Qt option") << QStringList{"-platform", "xcb", "--version"} << version;
    QTest::newRow("--help") << QStringList{"--help"} << "--version";
    QTest::newRow("-h") << QStringList{"-h"} << "Displays help";
}

void TestStartup::answersWithoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, expected);
    QProcess program;
    QVERIFY(runToEnd(program, arguments, withoutDisplay()));
    QCOMPARE(program.exitCode(), 0);
    const QString out = QString::fromLocal8Bit(program.readAllStandardOutput());
    if (expected.endsWith(QLatin1Char('\n')))
        QCOMPARE(out, expected);
    else
        QVERIFY2(out.contains(expected) && out.startsWith(QLatin1String("Usage: ")), qPrintable(out));
    QVERIFY(program.readAllStandardError().isEmpty());
}

// A mistyped option must get the parser's answer, not a complaint about the display.
void TestStartup::refusesBadCommandLineWithoutDisplay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown long option") << QStringList{"--bogus"} << "Vantor: Unknown option 'bogus'.\n";
    QTest::newRow("unknown single-dash option") << QStringList{"-x"} << "Vantor: Unknown option 'x'.\n";
    QTest::newRow("unknown option before --version")
        << QStringList{"--bogus", "--version"} << "Vantor: Unknown option 'bogus'.\n";
    QTest::newRow("unknown option after a Qt option")
        << QStringList{"-platform", "offscreen", "--bogus"} << "Vantor: Unknown option 'bogus'.\n";
    QTest::newRow("Qt option without its value")
        << QStringList{"-platform"} << "Vantor: Missing value after '-platform'.\n";
    QTest::newRow("value given to --version")
        << QStringList{"--version=2"} << "Vantor: Unexpected value after '--version'.\n";
    QTest::newRow("stray argument") << QStringList{"table.db"} << "Vantor: Unexpected argument 'table.db'.\n";
}

void TestStartup::refusesBadCommandLineWithoutDisplay() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, error);
    QProcess program;
    QVERIFY(runToEnd(program, arguments, withoutDisplay()));
    QCOMPARE(program.exitCode(), 1);
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()), error);
    QVERIFY(program.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
