#pragma once

// What the FTP client's control session and its transfers both need: the texts they fail
// with and the small rules they share. Internal to the FTP engine.

#include <QFile>
#include <QFileInfo>
#include <QString>

namespace vantor::ftpdetail {

inline const QString kControlLost = QStringLiteral("Control connection closed by peer");
inline const QString kAbortedByServer = QStringLiteral("Transfer aborted by the server");
inline const QString kRefusedMeanwhile = QStringLiteral("The server refused the transfer");

inline bool isFailureAfterLogin(int code) {
    return code > 300 && code < 600;
}

inline QString firstLine(const QString& text) {
    const qsizetype lf = text.indexOf(QLatin1Char('\n'));
    return lf < 0 ? text : text.left(lf + 1);
}

// The last part of a remote path: what a download names its local file after when the
// caller gave none. A remote path never decides where on this machine a file lands.
inline QString remoteFileName(const QString& remote) {
    const qsizetype slash = remote.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? remote : remote.mid(slash + 1);
}

// Remote names are byte strings (one char per byte) and local ones are the platform's: a
// name taken from one side for the other is converted through the local file-name encoding,
// so "été.bin" on disk is sent as the bytes it has on disk, not as Latin-1 or as "?".
inline QString remoteNameOf(const QString& localFile) {
    return QString::fromLatin1(QFile::encodeName(QFileInfo(localFile).fileName()));
}

} // namespace vantor::ftpdetail
