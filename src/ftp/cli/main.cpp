// vantor-ftp: runs FTP commands against the controller in one session, for scripts and
// for diagnosis. A thin shell over TFtpClient: every protocol step is the engine's.
//
//   vantor-ftp [options] "COMMAND ARGS" ...
//
// Commands: pwd, cd DIR, mkdir DIR, ls, get REMOTE [LOCAL], put LOCAL [REMOTE].
// Exit status 0 when every command succeeded; otherwise the error's text goes to standard
// error and the status is 1.

#include "ftp/FtpClient.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>

#include <cstdio>

using namespace vantor;

namespace {

struct Step {
    QString verb;
    // Arguments as the bytes typed, one char per byte: a remote name reaches the server
    // exactly as given. Local paths are decoded from the same bytes when used.
    QStringList args;
};

QString localPath(const QString& bytes) {
    return QFile::decodeName(bytes.toLatin1());
}

QString baseName(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

void writeLine(FILE* out, const QString& text) {
    QByteArray bytes = text.toLatin1();
    while (bytes.endsWith('\n') || bytes.endsWith('\r'))
        bytes.chop(1);
    bytes.append('\n');
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

// Parses "COMMAND ARGS" strings; returns an error text for the first bad one.
QString parseSteps(const QStringList& commands, QList<Step>& steps) {
    struct Arity {
        const char* verb;
        int min;
        int max;
    };
    static const Arity kArity[] = {{"pwd", 0, 0}, {"cd", 1, 1},  {"mkdir", 1, 1},
                                   {"ls", 0, 0},  {"get", 1, 2}, {"put", 1, 2}};
    for (const QString& command : commands) {
        QStringList words = QProcess::splitCommand(QString::fromLatin1(command.toLocal8Bit()));
        if (words.isEmpty())
            return QStringLiteral("Empty command");
        Step step{words.takeFirst().toLower(), words};
        const Arity* arity = nullptr;
        for (const Arity& a : kArity)
            if (step.verb == QLatin1String(a.verb))
                arity = &a;
        if (!arity)
            return QStringLiteral("Unknown command: %1").arg(command);
        if (step.args.size() < arity->min || step.args.size() > arity->max)
            return QStringLiteral("Wrong number of arguments: %1").arg(command);
        steps.append(step);
    }
    return {};
}

void run(TFtpClient& ftp, const Step& step) {
    const QStringList& a = step.args;
    if (step.verb == QLatin1String("pwd")) {
        writeLine(stdout, ftp.CurrentDir());
    } else if (step.verb == QLatin1String("cd")) {
        ftp.ChangeDir(a.at(0));
    } else if (step.verb == QLatin1String("mkdir")) {
        ftp.MakeDir(a.at(0));
    } else if (step.verb == QLatin1String("ls")) {
        ftp.List();
    } else if (step.verb == QLatin1String("get")) {
        const QString local = a.size() > 1 ? a.at(1) : baseName(a.at(0));
        ftp.Download(a.at(0), localPath(local));
    } else if (step.verb == QLatin1String("put")) {
        const QString remote = a.size() > 1 ? a.at(1) : baseName(a.at(0));
        ftp.Upload(localPath(a.at(0)), remote);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantor-ftp"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTOR_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Runs FTP commands in one session with the controller (active mode).\n"
                       "Commands: pwd, cd DIR, mkdir DIR, ls, get REMOTE [LOCAL], put LOCAL [REMOTE].\n"
                       "A name with spaces goes in double quotes: 'put \"my file\"' in a shell."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption host(QStringLiteral("host"), QStringLiteral("Controller address."),
                                  QStringLiteral("address"), QStringLiteral("128.0.1.1"));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("FTP port."), QStringLiteral("port"),
                                  QStringLiteral("21"));
    const QCommandLineOption user(QStringLiteral("user"), QStringLiteral("Login name."),
                                  QStringLiteral("name"), QStringLiteral("super"));
    const QCommandLineOption password(QStringLiteral("password"), QStringLiteral("Login password."),
                                      QStringLiteral("password"), QStringLiteral("kolm"));
    const QCommandLineOption timeout(
        QStringLiteral("timeout"),
        QStringLiteral("Milliseconds without progress before giving up (0 = never)."), QStringLiteral("ms"),
        QStringLiteral("20000"));
    const QCommandLineOption ascii(QStringLiteral("ascii"),
                                   QStringLiteral("Transfer in ASCII type (TYPE A)."));
    const QCommandLineOption binary(QStringLiteral("binary"),
                                    QStringLiteral("Transfer in image type (TYPE I), the default."));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"),
        QStringLiteral("Write every status text (the protocol traffic) to standard error."));
    const QCommandLineOption level(
        QStringLiteral("report-level"),
        QStringLiteral(
            "Status detail for --verbose: 1 protocol (default), 4, 8 or 16 for the socket's inner steps."),
        QStringLiteral("level"), QStringLiteral("1"));
    parser.addOptions({host, port, user, password, timeout, ascii, binary, verbose, level});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("\"COMMAND ARGS\", run in order."),
                                 QStringLiteral("\"COMMAND ARGS\"..."));
    parser.process(app);

    const auto fail = [](const QString& text) {
        writeLine(stderr, text);
        return 1;
    };
    bool ok = true;
    const int portValue = parser.value(port).toInt(&ok);
    if (!ok || portValue <= 0 || portValue > 65535)
        return fail(QStringLiteral("Invalid port: %1").arg(parser.value(port)));
    const int timeoutValue = parser.value(timeout).toInt(&ok);
    if (!ok || timeoutValue < 0)
        return fail(QStringLiteral("Invalid timeout: %1").arg(parser.value(timeout)));
    const int levelValue = parser.value(level).toInt(&ok);
    if (!ok || levelValue < 0 || levelValue > 255)
        return fail(QStringLiteral("Invalid report level: %1").arg(parser.value(level)));
    if (parser.isSet(ascii) && parser.isSet(binary))
        return fail(QStringLiteral("Give either --ascii or --binary"));

    QList<Step> steps;
    const QString parseError = parseSteps(parser.positionalArguments(), steps);
    if (!parseError.isEmpty())
        return fail(parseError);

    TFtpClient ftp;
    ftp.Host = parser.value(host);
    ftp.Port = portValue;
    ftp.UserID = QString::fromLatin1(parser.value(user).toLocal8Bit());
    ftp.Password = QString::fromLatin1(parser.value(password).toLocal8Bit());
    ftp.TimeOut = timeoutValue;
    if (parser.isSet(verbose)) {
        ftp.ReportLevel = levelValue;
        ftp.OnStatus = [](TAsyncSocket*, const QString& status) { writeLine(stderr, status); };
    }
    ftp.OnError = [](TAsyncSocket*, quint16 errorNumber, const QString& message) {
        writeLine(stderr, QStringLiteral("Error %1: %2").arg(errorNumber).arg(message));
    };
    ftp.OnListItem = [](const QString& line) { writeLine(stdout, line); };

    try {
        ftp.Connect();
        ftp.SetMode(parser.isSet(ascii) ? tmAscii : tmImage);
        for (const Step& step : steps)
            run(ftp, step);
        ftp.Disconnect();
    } catch (const std::exception& e) {
        try {
            ftp.Disconnect();
        } catch (const std::exception&) {
        }
        return fail(QString::fromUtf8(e.what()).trimmed());
    }
    return 0;
}
