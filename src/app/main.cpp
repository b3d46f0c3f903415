#include "Application.h"
#include "FormInstall.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QList>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {
// Qt aborts with a core dump when it cannot reach a display; say so plainly instead.
bool displayMissing() {
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    const bool platformChosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    return !platformChosen && qEnvironmentVariableIsEmpty("DISPLAY") &&
           qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return false;
#endif
}

// A display that is named but cannot be opened (a stale DISPLAY, a closed X forwarding)
// makes Qt print several lines and abort while the application object is made. Those
// messages are held back meanwhile: a fatal one becomes one plain line and a clean exit,
// the others are passed on once the window system is reached.
QtMessageHandler g_defaultHandler = nullptr;
QList<std::pair<QtMsgType, QString>> g_heldMessages;

void holdStartMessages(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    Q_UNUSED(context);
    if (type != QtFatalMsg) {
        g_heldMessages.append({type, text});
        return;
    }
    QString reason = g_heldMessages.isEmpty() ? text : g_heldMessages.constFirst().second;
    reason = reason.section(QLatin1Char('\n'), 0, 0).trimmed();
    std::fprintf(stderr, "vantor: cannot open the display (%s)\n", qPrintable(reason));
    std::_Exit(EXIT_FAILURE);
}

QStringList argumentsOf(int argc, char* argv[]) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Maintenance tool for the controller of a focused-ion-beam instrument: installs and\n"
                       "versions up its system and application over FTP, backs it up, and gives telnet and\n"
                       "serial terminals on its shell."));
    // "-platform xcb" and Qt's other single-dash options must not read as "-p -l -a ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addVersionOption();
    // The toolkit's own options are known here too, so that a mistyped option is answered
    // before a display is needed; QApplication still takes and applies them.
    const auto toolkitOption = [&parser](const QString& name, const QString& valueName = {}) {
        QCommandLineOption option(name, QString(), valueName);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    };
    for (const char* name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "display", "name", "qwindowgeometry",
          "geometry", "qwindowtitle", "title", "qwindowicon", "icon", "style", "stylesheet", "session"})
        toolkitOption(QString::fromLatin1(name), QStringLiteral("value"));
    for (const char* name : {"reverse", "nograb", "dograb", "sync", "widgetcount", "testability"})
        toolkitOption(QString::fromLatin1(name));
}

// Answers a command line the program cannot take the way QCommandLineParser::process()
// does, and with the same failing status. The program takes no arguments of its own.
bool refuseBadArguments(const QCommandLineParser& parser, bool parsed) {
    QString error = parser.errorText();
    if (parsed && !parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    else if (parsed)
        return false;
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(error));
    return true;
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("vantor"));

    // --help, --version and a command line that cannot be taken are answered before any
    // window system is touched, so they work over ssh and in scripts.
    QCommandLineParser parser;
    describe(parser);
    const bool parsed = parser.parse(argumentsOf(argc, argv));
    if (refuseBadArguments(parser, parsed))
        return EXIT_FAILURE;
    if (parser.isSet(QStringLiteral("version"))) {
        QCoreApplication app(argc, argv);
        parser.showVersion();
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        QCoreApplication app(argc, argv); // names the program in the usage line
        parser.showHelp();
    }

    if (displayMissing()) {
        std::fputs("vantor: no display to show the window on (set DISPLAY, or start it under xvfb-run)\n",
                   stderr);
        return EXIT_FAILURE;
    }
    g_defaultHandler = qInstallMessageHandler(holdStartMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(g_defaultHandler);
    for (const auto& [type, text] : std::as_const(g_heldMessages))
        g_defaultHandler(type, QMessageLogContext(), text);
    g_heldMessages.clear();

    vantor::Application windows;
    windows.formInstall().show();
    return app.exec();
}
