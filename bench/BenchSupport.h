#pragma once

// What the benchmarks share: the way they give up, the files they send and count, and the
// other tools they time against.

#include "common/FtpServerFixture.h"

#include <QRandomGenerator>
#include <QString>
#include <QStringList>

#include <memory>

namespace vantor::bench {

// Prints "<benchmark>: <why>" and ends the run: a figure from a run that went wrong is no figure.
[[noreturn]] void fail(const QString& why);

// A file of 1 KiB of `random`'s bytes at `path`, whose folder must exist.
void writeRandomFile(const QString& path, QRandomGenerator& random);

// The files below `root`, all levels.
int countFiles(const QString& root);

// Runs `program` to its end and returns the seconds it took; a failure ends the benchmark.
double timedRun(const QString& program, const QStringList& arguments);

// pyftpdlib on loopback answering LIST as the controller does, with /h0 and /h1 below its
// root; a server that does not start ends the benchmark.
std::unique_ptr<test::FtpServerFixture> startControllerServer();

// `lftp -c` with an active-mode login as the tests' server expects, then `commands`.
double timedLftp(quint16 port, const QString& commands);

} // namespace vantor::bench
