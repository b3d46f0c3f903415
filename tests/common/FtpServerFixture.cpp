#include "FtpServerFixture.h"

#include "TestSupport.h"
#include "support/Wait.h"

#include <QDir>
#include <QFileInfo>

using namespace std::chrono_literals;

namespace vantor::test {

namespace {
constexpr auto kStartLimit = 15s;
constexpr auto kStopLimit = 5s;
const QString kPython = QStringLiteral("/usr/bin/python3");
} // namespace

FtpServerFixture::FtpServerFixture() : FtpServerFixture(Options{}) {}

FtpServerFixture::FtpServerFixture(Options options) : m_options(std::move(options)) {}

FtpServerFixture::~FtpServerFixture() {
    stop();
}

bool FtpServerFixture::start() {
    if (!m_home.isValid()) {
        m_error = QStringLiteral("Cannot make a temporary home folder: ") + m_home.errorString();
        return false;
    }
    const QString script = sourceDir() + QStringLiteral("/tests/common/ftpserver.py");
    if (!QFileInfo::exists(script)) {
        m_error = QStringLiteral("FTP server script not found: ") + script;
        return false;
    }
    if (!QFileInfo(kPython).isExecutable()) {
        m_error = QStringLiteral("%1 not found (Debian's python3 with python3-pyftpdlib)").arg(kPython);
        return false;
    }
    QStringList args{
        script,         QStringLiteral("--home"),     m_home.path(),     QStringLiteral("--user"),
        m_options.user, QStringLiteral("--password"), m_options.password};
    for (const QString& device : m_options.devices)
        args << QStringLiteral("--device") << device;
    if (m_options.os9Listing)
        args << QStringLiteral("--os9-listing");
    args << m_options.extraArguments;
    m_process.setWorkingDirectory(m_home.path());
    m_process.setProgram(kPython);
    m_process.setArguments(args);
    m_process.start();
    const bool reported = pumpUntil(
        [this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; }, kStartLimit);
    if (reported && m_process.canReadLine()) {
        bool ok = false;
        const int port = m_process.readLine().trimmed().toInt(&ok);
        if (ok && port > 0 && port < 65536) {
            m_port = quint16(port);
            return true;
        }
    }
    m_error = QStringLiteral("The FTP server did not report its port within %1 s: %2")
                  .arg(std::chrono::seconds(kStartLimit).count())
                  .arg(QString::fromLocal8Bit(m_process.readAllStandardError()).trimmed());
    stop();
    return false;
}

void FtpServerFixture::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!pumpUntil([this] { return m_process.state() == QProcess::NotRunning; }, kStopLimit)) {
        m_process.kill();
        pumpUntil([this] { return m_process.state() == QProcess::NotRunning; }, kStopLimit);
    }
}

QString FtpServerFixture::localPath(const QString& remotePath) const {
    QString relative = remotePath;
    while (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return QDir(m_home.path()).filePath(relative);
}

} // namespace vantor::test
