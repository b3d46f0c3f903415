// Installing a local tree onto the controller through the Install button, side by side
// with `lftp mirror -R` in active mode, against one pyftpdlib server on loopback that
// answers LIST as the controller does. Prints the times and their ratio (ours / lftp's;
// the goal is 1.00 or less). Run by hand:
//   build/bench/transfer/bench_install [files] [folders] [rounds]

#include "BenchSupport.h"
#include "app/FormInstall.h"
#include "common/ScriptedPrompter.h"
#include "support/TQelBtn.h"
#include "transfer/FtpSession.h"
#include "transfer/TransferPanels.h"
#include "transfer/TransferSheets.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

using namespace vantor;
using namespace vantor::bench;

namespace {

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// `files` files of 1 KiB spread over `folders` folders: the root and folders-1 below it.
void makeTree(const QString& root, int files, int folders) {
    QRandomGenerator random(7);
    for (int f = 0; f < folders; ++f) {
        const QString folder =
            f == 0 ? root : QStringLiteral("%1/D%2").arg(root).arg(f, 2, 10, QLatin1Char('0'));
        QDir().mkpath(folder);
        const int count = files / folders + (f < files % folders ? 1 : 0);
        for (int i = 0; i < count; ++i)
            writeRandomFile(QStringLiteral("%1/f%2.bin").arg(folder).arg(i), random);
    }
}

// Open, install, close: what the engineer's click on the Install button costs, login included.
double ours(TFormInstall& form, const QString& remoteRoot) {
    TransferPanels* p = form.transferPanels();
    QElapsedTimer clock;
    clock.start();
    p->BtnFTPOpen->click();
    if (p->LblSts2->text() != QLatin1String("Connected"))
        fail(QStringLiteral("not connected"));
    p->BtnInstallSys->click();
    p->BtnFTPClose->click();
    const double seconds = clock.nsecsElapsed() / 1e9;
    Q_UNUSED(remoteRoot);
    return seconds;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("qt.qpa.*=false"));
    const QStringList args = app.arguments();
    const int files = args.size() > 1 ? args.at(1).toInt() : 500;
    const int folders = args.size() > 2 ? args.at(2).toInt() : 25;
    const int rounds = args.size() > 3 ? args.at(3).toInt() : 9;
    if (files <= 0 || folders <= 0 || rounds <= 0)
        fail(QStringLiteral("usage: bench_install [files] [folders] [rounds]"));

    test::PrompterScope prompts;
    const auto server = startControllerServer();

    QTemporaryDir work;
    const QString tree = work.filePath(QStringLiteral("Install/System"));
    makeTree(tree, files, folders);
    const QString startFolder = QDir::currentPath();

    TFormInstall form;
    form.EditlIPAdrs1->setText(server->host());
    form.EdtInsSystem->setText(tree);
    form.transferSheets()->session()->setPort(server->port());
    form.setSheetTabVisible(form.ShtInstall, true);
    form.PageFTPCtrl->setCurrentWidget(form.ShtInstall);
    form.show();

    std::printf("pyftpdlib on 127.0.0.1:%u with the controller's listing; %d files of 1 KiB in %d folders, "
                "best of %d rounds\n",
                server->port(), files, folders, rounds);
    QList<double> oursTimes, lftpTimes, oursCpu, lftpCpu;
    for (int round = 0; round < rounds; ++round) {
        QDir(server->localPath(QStringLiteral("/h0"))).removeRecursively();
        QDir().mkpath(server->localPath(QStringLiteral("/h0")));
        QDir(server->localPath(QStringLiteral("/h1/lftp"))).removeRecursively();
        // Who goes first changes every round, so neither side always meets a warmer cache.
        const auto runOurs = [&] {
            const double cpu = cpuSeconds(RUSAGE_SELF);
            oursTimes << ours(form, QStringLiteral("/h0"));
            oursCpu << cpuSeconds(RUSAGE_SELF) - cpu;
            if (!prompts.prompter.shown.isEmpty())
                fail(QStringLiteral("the install showed: ") + prompts.prompter.shown.first().text);
            if (countFiles(server->localPath(QStringLiteral("/h0"))) != files)
                fail(QStringLiteral("the install did not send every file"));
        };
        const auto runLftp = [&] {
            const double cpu = cpuSeconds(RUSAGE_CHILDREN);
            lftpTimes << timedLftp(server->port(), QStringLiteral("mirror -R %1 /h1/lftp").arg(tree));
            lftpCpu << cpuSeconds(RUSAGE_CHILDREN) - cpu;
            if (countFiles(server->localPath(QStringLiteral("/h1/lftp"))) != files)
                fail(QStringLiteral("lftp did not send every file"));
        };
        if (round % 2 == 0) {
            runOurs();
            runLftp();
        } else {
            runLftp();
            runOurs();
        }
        std::printf("round %d: vantor %.3f s, lftp %.3f s\n", round + 1, oursTimes.last(), lftpTimes.last());
    }
    QDir::setCurrent(startFolder);

    // Other work on the machine only ever adds time, so the best round of each side is the
    // fairest figure; the median of the rounds' own ratios shows how steady that is.
    const double bestOurs = *std::min_element(oursTimes.begin(), oursTimes.end());
    const double bestLftp = *std::min_element(lftpTimes.begin(), lftpTimes.end());
    QList<double> ratios;
    for (int i = 0; i < rounds; ++i)
        ratios << oursTimes.at(i) / lftpTimes.at(i);
    std::sort(ratios.begin(), ratios.end());
    std::printf("\n%-40s %10s %10s %8s\n", "", "vantor", "lftp", "ratio");
    std::printf("%-40s %8.3f s %8.3f s %8.2f   (goal <= 1.00)\n", "tree install, login to logout, best",
                bestOurs, bestLftp, bestOurs / bestLftp);
    std::printf("%-40s %7.2f ms %7.2f ms\n", "per file, best", bestOurs * 1000 / files,
                bestLftp * 1000 / files);
    std::printf("%-40s %30.2f\n", "median of the rounds' ratios", ratios.at(rounds / 2));
    std::printf("%-40s %7.2f ms %7.2f ms   (client processor time)\n",
                "per file, client processor time, best",
                *std::min_element(oursCpu.begin(), oursCpu.end()) * 1000 / files,
                *std::min_element(lftpCpu.begin(), lftpCpu.end()) * 1000 / files);
    return 0;
}
