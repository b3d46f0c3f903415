#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace vantor::test {

// A real FTP server for a test: pyftpdlib (tests/common/ftpserver.py, run with Debian's
// /usr/bin/python3) on 127.0.0.1 with a free port, serving a fresh temporary folder as
// the user's root. Stopped and the folder removed by the destructor.
//
//   FtpServerFixture server({.devices = {"h0"}});
//   QVERIFY2(server.start(), qPrintable(server.errorString()));
//   client.Host = server.host(); client.Port = server.port();
class FtpServerFixture {
public:
    struct Options {
        QString user = QStringLiteral("super");
        QString password = QStringLiteral("kolm");
        QStringList devices;     // folders made in the root, reachable as "/h0" and so on
        bool os9Listing = false; // LIST answers in the OS-9 extended directory format
        QStringList extraArguments; // further options of ftpserver.py, as they stand
    };

    FtpServerFixture();
    explicit FtpServerFixture(Options options);
    ~FtpServerFixture();
    FtpServerFixture(const FtpServerFixture&) = delete;
    FtpServerFixture& operator=(const FtpServerFixture&) = delete;

    // Starts the server and waits (at most 15 s) for it to report its port. On failure
    // errorString() says why, with what the server wrote to standard error.
    bool start();
    void stop();

    QString errorString() const { return m_error; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString home() const { return m_home.path(); }
    // Local path of a remote path such as "/h0/x" or "x".
    QString localPath(const QString& remotePath) const;

private:
    Options m_options;
    QTemporaryDir m_home;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
};

} // namespace vantor::test
