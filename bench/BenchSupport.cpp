#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

namespace vantor::bench {

void fail(const QString& why) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(why));
    std::exit(1);
}

void writeRandomFile(const QString& path, QRandomGenerator& random) {
    QByteArray bytes(1024, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        fail(QStringLiteral("cannot write ") + path);
}

int countFiles(const QString& root) {
    int n = 0;
    for (QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++n;
    return n;
}

double timedRun(const QString& program, const QStringList& arguments) {
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        fail(program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(process.readAllStandardError()));
    return clock.nsecsElapsed() / 1e9;
}

std::unique_ptr<test::FtpServerFixture> startControllerServer() {
    test::FtpServerFixture::Options options;
    options.devices = {QStringLiteral("h0"), QStringLiteral("h1")};
    options.os9Listing = true;
    auto server = std::make_unique<test::FtpServerFixture>(options);
    if (!server->start())
        fail(server->errorString());
    return server;
}

double timedLftp(quint16 port, const QString& commands) {
    return timedRun(QStringLiteral("lftp"),
                    {QStringLiteral("-c"), QStringLiteral("set ftp:passive-mode off; set cmd:fail-exit true; "
                                                          "open -u super,kolm -p %1 127.0.0.1; %2")
                                               .arg(port)
                                               .arg(commands)});
}

} // namespace vantor::bench
