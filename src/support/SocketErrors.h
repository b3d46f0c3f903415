#pragma once

#include <QAbstractSocket>
#include <QString>

namespace vantor {

// Socket failures are shown to the engineer with the WinSock numbers and texts the
// controller's documentation and the field engineers know, on every platform.

// "10061:Connection refused" for a known number, "" for 0, "Unknown Error No. n" otherwise.
QString winsockErrorText(int code);

// The WinSock number for a failure Qt reported. Qt keeps the platform's own message
// (strerror on Unix), which tells the underlying errno apart where the enum does not,
// for example a reset from a plain network failure. Gives 0 for a normal remote close.
int winsockErrorOf(QAbstractSocket::SocketError error, const QString& platformText);

} // namespace vantor
