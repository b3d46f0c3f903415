#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace vantor {

// What the batch panel and the command list send to the controller's shell. A command
// line ends with CR alone; text is sent as the controller's Shift-JIS.

// One command line: the text and CR. An empty line is a bare CR.
QByteArray commandLine(QStringView text);
// Every line of a batch, in order, each ended by CR; an empty batch sends nothing.
QList<QByteArray> batchCommands(const QStringList& lines);

// The fixed commands of the batch panel.
QByteArray abortCommand();                               // "Abort QEL": Ctrl-C, no line end
QByteArray startQelCommand();                            // "StartQEL2"
QByteArray adjustTimeCommand(const QDateTime& localNow); // "setime YY/MM/DD hh:mm:ss"

// The command list: 100 rows; rows 1 to 15 hold the listed commands, rows 10 and 11 and
// rows 16 to 100 are empty. Index 0 is row 1.
QStringList commandListRows();

} // namespace vantor
