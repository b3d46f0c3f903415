// A restore of a backup folder in the plan's layout, half of its files for the instrument
// PC and half for the controller, side by side in one run with the tools an engineer would
// otherwise use: `lftp mirror -R` (active mode) of the controller's folders against the
// same pyftpdlib server on loopback, and `cp -r` of the PC's folders. Prints both times and
// the ratio (restore / (lftp + cp); the goal is 1.00 or less). The restore goes first, so
// it is the side that meets a colder disk. Run by hand:
//   build/bench/backup/bench_restore [files]
// On a disk that other work keeps busy creating and deleting files, creating a file can
// cost milliseconds whoever does it; TMPDIR=/dev/shm takes that out of both sides.

#include "BenchSupport.h"
#include "backup/SystemBkup.h"
#include "common/ScriptedPrompter.h"
#include "ftp/FtpClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

using namespace vantor;
using namespace vantor::bench;

namespace {

const QString kRemoteData = QStringLiteral("/h0/QEL_V4/data");
const QStringList kPcFolders{QStringLiteral("dbase"), QStringLiteral("2200ion")};
const QStringList kControllerFolders{QStringLiteral("HARD"), QStringLiteral("MANAGER"),
                                     QStringLiteral("STAGE"), QStringLiteral("STAGE2")};

// `count` files of 1 KiB spread over `folders` of the backup; names fit the plan's entries
// (".ion" in 2200ion, anything elsewhere).
void makeFiles(const QString& backup, const QStringList& folders, int count, QRandomGenerator& random) {
    for (int i = 0; i < count; ++i) {
        const QString folder = folders.at(i % folders.size());
        QDir().mkpath(backup + QLatin1Char('/') + folder);
        const QString suffix =
            folder == QLatin1String("2200ion") ? QStringLiteral(".ion") : QStringLiteral(".dat");
        writeRandomFile(QStringLiteral("%1/%2/f%3%4").arg(backup, folder).arg(i).arg(suffix), random);
    }
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int files = app.arguments().size() > 1 ? app.arguments().at(1).toInt() : 2000;
    if (files < 2)
        fail(QStringLiteral("usage: bench_restore [files]"));

    test::PrompterScope prompts;
    const auto server = startControllerServer();
    for (const QString& folder : kControllerFolders)
        QDir().mkpath(server->localPath(kRemoteData + QLatin1Char('/') + folder));

    QTemporaryDir work;
    const QString backup = work.filePath(QStringLiteral("Backup"));
    const QString data = work.filePath(QStringLiteral("Data"));
    const QString cpTarget = work.filePath(QStringLiteral("cp"));
    QDir().mkpath(data);
    QDir().mkpath(cpTarget);
    QRandomGenerator random(7);
    makeFiles(backup, kPcFolders, files / 2, random);
    makeFiles(backup, kControllerFolders, files - files / 2, random);

    std::printf("pyftpdlib on 127.0.0.1:%u with the controller's listing; %d files of 1 KiB, "
                "%d for the PC and %d for the controller, one run\n",
                server->port(), files, files / 2, files - files / 2);

    TSystemBkup engine;
    engine.SetHost(server->host());
    engine.Ftp().Port = server->port();
    engine.SetLocalBase(data);
    engine.SetRemoteBase(kRemoteData);
    engine.LoadPlan(QStringLiteral("SystemBkup.ini"));
    QElapsedTimer clock;
    clock.start();
    if (!engine.Restore(backup, 0))
        fail(QStringLiteral("the restore refused the backup folder"));
    const double ours = clock.nsecsElapsed() / 1e9;
    if (!prompts.prompter.shown.isEmpty())
        fail(QStringLiteral("the restore showed: ") + prompts.prompter.shown.first().text);
    if (countFiles(server->localPath(kRemoteData)) != files - files / 2)
        fail(QStringLiteral("the restore did not upload every file"));
    if (countFiles(data) != files / 2 + 1) // and SystemBkup.ini
        fail(QStringLiteral("the restore did not copy every file"));

    QStringList mirrors;
    for (const QString& folder : kControllerFolders)
        mirrors << QStringLiteral("mirror -R %1/%2 /h1/lftp/%2").arg(backup, folder);
    const double lftp = timedLftp(server->port(), mirrors.join(QStringLiteral("; ")));
    if (countFiles(server->localPath(QStringLiteral("/h1/lftp"))) != files - files / 2)
        fail(QStringLiteral("lftp did not send every file"));

    QStringList cpArgs{QStringLiteral("-r")};
    for (const QString& folder : kPcFolders)
        cpArgs << backup + QLatin1Char('/') + folder;
    cpArgs << cpTarget;
    const double cp = timedRun(QStringLiteral("cp"), cpArgs);
    if (countFiles(cpTarget) != files / 2)
        fail(QStringLiteral("cp did not copy every file"));

    std::printf("\n%-34s %9.3f s\n", "restore (login, copies, uploads)", ours);
    std::printf("%-34s %9.3f s\n", "lftp mirror -R (controller half)", lftp);
    std::printf("%-34s %9.3f s\n", "cp -r (PC half)", cp);
    std::printf("%-34s %9.2f   (goal <= 1.00)\n", "ratio restore / (lftp + cp)", ours / (lftp + cp));
    std::printf("%-34s %9.2f ms vs %.2f ms\n", "per file", ours * 1000 / files, (lftp + cp) * 1000 / files);
    return 0;
}
