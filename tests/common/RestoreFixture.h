#pragma once

// Shared ground of the restore tests: a controller (pyftpdlib on loopback with the OS-9
// listing and the application's folders) and a backup folder in the plan's layout.

#include "common/FtpServerFixture.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

namespace vantor::test {

// Every file below `root`, relative path -> bytes, to compare a side before and after.
inline QMap<QString, QByteArray> filesBelow(const QString& root) {
    QMap<QString, QByteArray> out;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        out.insert(QDir(root).relativeFilePath(path), fileBytes(path));
    }
    return out;
}

// The controller's FTP side: /<device>/<app>/data with the plan's controller folders, and
// /<device>/<app>/cmds where the guard module goes (left out with withCmds false).
class ControllerFtp {
public:
    static inline const QStringList kDataFolders{"ionlog", "HARD", "MANAGER", "STAGE", "STAGE2"};

    explicit ControllerFtp(const QString& device = QStringLiteral("h0"),
                           const QString& app = QStringLiteral("QEL_V4"), bool withCmds = true)
        : m_server(serverOptions()), m_device(device), m_app(app), m_withCmds(withCmds) {}

    bool start() {
        if (!m_server.start())
            return false;
        for (const QString& folder : kDataFolders)
            QDir().mkpath(local(QStringLiteral("data/") + folder));
        if (m_withCmds)
            QDir().mkpath(local(QStringLiteral("cmds")));
        return true;
    }
    QString errorString() const { return m_server.errorString(); }
    quint16 port() const { return m_server.port(); }
    // "/h0/QEL_V4" and the like.
    QString appFolder() const { return QLatin1Char('/') + m_device + QLatin1Char('/') + m_app; }
    // Local path of a file below the application folder ("data/HARD/x", "cmds/ionkill").
    QString local(const QString& relative) const {
        return m_server.localPath(appFolder() + QLatin1Char('/') + relative);
    }

private:
    static FtpServerFixture::Options serverOptions() {
        FtpServerFixture::Options options;
        options.devices = QStringList{"h0", "h1"};
        options.os9Listing = true;
        return options;
    }

    FtpServerFixture m_server;
    QString m_device;
    QString m_app;
    bool m_withCmds;
};

// A backup folder in the plan's layout, each file with bytes of its own so that one restored
// to the wrong place shows. Names are relative to the backup folder.
class BackupFolder {
public:
    // PC side: data-folder files, dbase and 2200ion; controller side: ionlog and HARD ...
    static QMap<QString, QByteArray> smallLayout() {
        QMap<QString, QByteArray> files;
        const QStringList names{"IonSource.ini",     "Option.ini",  "dbase/ApCtrl30kV.db", "2200ion/a.ion",
                                "ionlog/Memory.ion", "HARD/h1.dat", "MANAGER/m1",          "STAGE2/s2"};
        quint32 seed = 11;
        for (const QString& name : names) {
            files.insert(name, randomBytes(64 + int(seed) * 29, seed));
            ++seed;
        }
        return files;
    }

    explicit BackupFolder(const QMap<QString, QByteArray>& files = smallLayout()) : m_files(files) {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            m_written &= putFile(m_dir.filePath(it.key()), it.value());
    }
    bool isValid() const { return m_dir.isValid() && m_written; }
    QString path() const { return QDir::toNativeSeparators(m_dir.path()); }
    const QMap<QString, QByteArray>& files() const { return m_files; }
    QString restoreLog() const { return m_dir.filePath(QStringLiteral("Restore.txt")); }
    // The restore log's lines (CR LF ends), empty when there is none.
    QStringList restoreLines() const {
        if (!QFileInfo::exists(restoreLog()))
            return {};
        QString text = QString::fromUtf8(fileBytes(restoreLog()));
        if (text.endsWith(QStringLiteral("\r\n")))
            text.chop(2);
        return text.split(QStringLiteral("\r\n"));
    }

private:
    QTemporaryDir m_dir;
    QMap<QString, QByteArray> m_files;
    bool m_written = true;
};

} // namespace vantor::test
