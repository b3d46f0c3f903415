#include "RestorePreparation.h"

#include "backup/FormRestore.h"
#include "backup/SystemBkup.h"
#include "console/engine/TelnetSession.h"
#include "console/widgets/TelnetConsole.h"
#include "console/widgets/TerminalView.h"
#include "ftp/FtpClient.h"
#include "support/Errors.h"
#include "support/Paths.h"
#include "support/TQelBtn.h"
#include "support/Wait.h"
#include "transfer/IonKillModule.h"

#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace vantor {

namespace {
const QString kModuleName = QLatin1String(IonKillModule::kName);

// The controller's FTP port as the engine sets it, unless VANTOR_FTP_PORT names another (a
// controller reached through a tunnel, or a test server).
std::optional<quint16> ftpPortOverride() {
    bool ok = false;
    const uint port = qEnvironmentVariable("VANTOR_FTP_PORT").toUInt(&ok);
    if (ok && port > 0 && port <= 65535)
        return quint16(port);
    return std::nullopt;
}
} // namespace

RestorePreparation::RestorePreparation(const BorrowedControls& controls, QObject* parent)
    : QObject(parent), m_controls(controls) {}

RestorePreparation::~RestorePreparation() = default; // the private module folder goes with it

QString RestorePreparation::notStoppedLine() {
    return QStringLiteral("Ion beam NOT stopped: there was no telnet login, so ionkill was not run.");
}

QString RestorePreparation::remoteModuleFolder() const {
    return m_controls.drive->text() + QLatin1Char('/') + m_controls.path->text() + QStringLiteral("/cmds");
}

QString RestorePreparation::remoteDataFolder() const {
    return m_controls.drive->text() + QLatin1Char('/') + m_controls.path->text() + QStringLiteral("/data");
}

QString RestorePreparation::localDataFolder() const {
    // An empty or relative value would be taken from the process's current folder, which is
    // not the instrument's: its files would be read and written somewhere else.
    const QString registry = ReadRegistryDataPath().trimmed();
    if (!registry.isEmpty() && QDir::isAbsolutePath(registry))
        return QDir::toNativeSeparators(registry);
    return m_controls.instrumentDataFolder ? m_controls.instrumentDataFolder() : QString();
}

QString RestorePreparation::localModuleFile() const {
    if (!m_moduleFolder)
        return {};
    const QString file = paths::join(m_moduleFolder->path(), kModuleName);
    return QFileInfo::exists(file) ? file : QString();
}

void RestorePreparation::logFtp(const QString& line) {
    if (m_controls.ftpLog)
        m_controls.ftpLog->appendPlainText(line);
}

void RestorePreparation::AbortViaSerial() {
    if (m_controls.abortViaSerial)
        m_controls.abortViaSerial();
}

void RestorePreparation::PrepareRestore() {
    m_preparing = true;
    m_closed = false;
    m_closedWhilePreparing = false;
    const auto ended = qScopeGuard([this] { m_preparing = false; });

    AbortViaSerial();
    if (m_closed)
        return;
    TSystemBkup& bkup = m_controls.dialog->Bkup();
    bkup.SetHost(m_controls.address->text().trimmed());
    if (const std::optional<quint16> port = ftpPortOverride())
        bkup.Ftp().Port = *port;
    bkup.SetLocalBase(localDataFolder());
    bkup.SetRemoteBase(remoteDataFolder());
    bkup.LoadPlan(QLatin1String(kPlanFileName));
    if (!bkup.ConnectController()) {
        logFtp(
            QStringLiteral("Restore: cannot connect to %1; %2 was not uploaded and no telnet login was made.")
                .arg(m_controls.address->text().trimmed(), kModuleName));
        return;
    }
    if (m_closed)
        return;
    uploadModule();
    if (m_closed)
        return;
    logInOverTelnet();
}

void RestorePreparation::uploadModule() {
    // A folder only this program's user can enter, under a name nobody can guess: nothing can
    // be planted where the module is written and read back for the upload.
    m_moduleFolder = std::make_unique<QTemporaryDir>();
    if (!m_moduleFolder->isValid()) {
        const QString reason = m_moduleFolder->errorString();
        m_moduleFolder.reset();
        throw FileError(QStringLiteral("Cannot create a folder for %1. %2").arg(kModuleName, reason));
    }
    const QString folder = m_moduleFolder->path();
    WriteIonKillModule(paths::join(folder, kModuleName));

    TSystemBkup& bkup = m_controls.dialog->Bkup();
    const qsizetype logged = bkup.Log.size();
    const QString target = remoteModuleFolder();
    if (bkup.UploadFile(paths::join(folder, QString()), target, kModuleName)) {
        logFtp(
            QStringLiteral("%1 uploaded to %2 (%3)").arg(kModuleName, target, IonKillModule::description()));
        return;
    }
    // The engine's failure lines say why; its status lines only what it tried.
    QStringList why;
    for (qsizetype i = logged; i < bkup.Log.size(); ++i)
        if (bkup.Log.at(i).startsWith(QStringLiteral("------> ")))
            why << bkup.Log.at(i).mid(8).trimmed();
    if (why.isEmpty() && bkup.Log.size() > logged)
        why << bkup.Log.constLast().trimmed();
    logFtp(QStringLiteral("%1 upload to %2 refused: %3")
               .arg(kModuleName, target, why.join(QStringLiteral("; "))));
}

void RestorePreparation::logInOverTelnet() {
    TelnetConsole& telnet = *m_controls.telnet;
    telnet.setAutoLoginActive(true);
    const auto cleared = qScopeGuard([&telnet] { telnet.setAutoLoginActive(false); });
    if (telnet.TelnetLoggedIn())
        return;
    TelnetClient& client = telnet.session().client();
    // A LOGIN left down by a connection that failed or ended opens nothing: log in again.
    if (!telnet.BtnLogin->isChecked() || !client.isActive()) {
        telnet.BtnLogin->setChecked(true);
        telnet.BtnLoginClick();
    }
    pumpUntil([&] { return telnet.TelnetLoggedIn() || !client.isActive() || m_closed; },
              client.connectTimeout());
    if (telnet.TelnetLoggedIn() || m_closed)
        return;
    const QString line =
        QStringLiteral(
            "Telnet login to %1 did not complete: %2 cannot be run, the ion beam will not be stopped.")
            .arg(m_controls.address->text().trimmed(), kModuleName);
    telnet.MemoTelnet->text().appendLine(line);
    logFtp(line);
}

void RestorePreparation::RunIonKill() {
    TSystemBkup& bkup = m_controls.dialog->Bkup();
    TelnetConsole& telnet = *m_controls.telnet;
    const QString module = remoteModuleFolder() + QLatin1Char('/') + kModuleName;
    bool sent = false;
    if (telnet.TelnetLoggedIn()) {
        TelnetSession& session = telnet.session();
        sent = session.sendText(QString(QStringLiteral("attr ") + module + QStringLiteral(" -e -pe\r\n"))) &&
               session.sendText(QString(module + QStringLiteral("\r\n")));
        // Out to the controller now, before the first file of the restore is touched.
        session.client().flush();
    }
    bkup.SetLogPreface(sent ? QStringList() : QStringList{notStoppedLine()});
    if (!sent)
        logFtp(notStoppedLine());
}

void RestorePreparation::OnRestoreClosed() {
    m_closed = true;
    m_closedWhilePreparing = m_preparing;
    removeLocalModule();
    m_controls.dialog->hide();
    if (!m_preparing && m_controls.showMainWindow)
        m_controls.showMainWindow();
}

void RestorePreparation::removeLocalModule() {
    m_moduleFolder.reset(); // removes the module and its folder
}

void RestorePreparation::WriteIonKillModule(const QString& fileName) {
    IonKillModule::write(fileName);
}

QString RestorePreparation::ReadRegistryDataPath() {
#ifdef Q_OS_WIN
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                      0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    const auto closed = qScopeGuard([key] { RegCloseKey(key); });
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key, L"QelDataPath", nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0)
        return {};
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, L"QelDataPath", nullptr, &type, reinterpret_cast<LPBYTE>(value.data()),
                         &size) != ERROR_SUCCESS)
        return {};
    return QString::fromWCharArray(value.c_str()); // ends at the first NUL
#else
    return qEnvironmentVariable("QelDataPath");
#endif
}

} // namespace vantor
