#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>

class QLineEdit;
class QPlainTextEdit;
class QTemporaryDir;

namespace vantor {

class TFormRestore;
class TelnetConsole;

// The main window's side of a restore: it prepares the controller before the Restore
// dialog can work, stops the ion beam when a restore starts, and takes the window back when
// the dialog closes.
//
//   PrepareRestore  - Ctrl-C on the serial line (AbortViaSerial), the dialog's engine pointed
//                     at the controller and the data folders, the plan loaded, the engine
//                     connected, the ionkill module written to a folder private to this
//                     program and uploaded to <drive>/<path>/cmds, the telnet login made
//                     (bounded by the telnet connect time-out)
//   RunIonKill      - the dialog's before-restore notification: "attr <cmds>/ionkill -e -pe"
//                     and "<cmds>/ionkill" over the telnet login, each ending CR LF; without a
//                     login nothing is sent and the restore log's first line says so
//   OnRestoreClosed - the dialog's close notification: the local module and its folder are
//                     removed, the dialog hidden and the main window shown
//
// What happens to the module and the login is written to the FTP log.
class RestorePreparation final : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kPlanFileName = "SystemBkup.ini";

    // What the main window lends the preparation.
    struct BorrowedControls {
        TFormRestore* dialog = nullptr;
        TelnetConsole* telnet = nullptr;
        QLineEdit* address = nullptr; // EditlIPAdrs1
        QLineEdit* drive = nullptr;   // EdtDstDrv
        QLineEdit* path = nullptr;    // EdtDstPath
        QPlainTextEdit* ftpLog = nullptr;
        std::function<QString()> instrumentDataFolder;
        // Opens the serial port, waits a second and sends the abort batch (Ctrl-C).
        std::function<void()> abortViaSerial;
        std::function<void()> showMainWindow;
    };

    explicit RestorePreparation(const BorrowedControls& controls, QObject* parent = nullptr);
    ~RestorePreparation() override;

    void PrepareRestore();
    void RunIonKill();
    void OnRestoreClosed();
    void AbortViaSerial();

    // Writes the module's bytes to `fileName` (replaced only when complete). Throws FileError.
    static void WriteIonKillModule(const QString& fileName);
    // The "QelDataPath" value of the system environment in the registry on Windows (the key,
    // "System\CurrentControlSet\Control\Session Manager\Environment" under HKEY_LOCAL_MACHINE,
    // is only read), the environment variable of that name elsewhere; empty when missing.
    static QString ReadRegistryDataPath();

    // <drive>/<path>/cmds and <drive>/<path>/data from the remote panel's fields.
    QString remoteModuleFolder() const;
    QString remoteDataFolder() const;
    // The folder handed to the engine as the instrument PC's data folder: the registry value
    // when it names an absolute folder, else the instrument's data folder.
    QString localDataFolder() const;
    // The local copy of the module while one exists, else empty.
    QString localModuleFile() const;

    // PrepareRestore is under way (it waits for the serial line, the controller and telnet).
    bool isPreparing() const { return m_preparing; }
    // The dialog was closed while PrepareRestore was under way; the main window is then shown
    // by whoever ran the preparation, once it has ended.
    bool closedWhilePreparing() const { return m_closedWhilePreparing; }

    // The restore log's first line when the ion beam could not be stopped.
    static QString notStoppedLine();

private:
    void uploadModule();
    void logInOverTelnet();
    void removeLocalModule();
    void logFtp(const QString& line);

    BorrowedControls m_controls;
    std::unique_ptr<QTemporaryDir> m_moduleFolder;
    bool m_preparing = false;
    bool m_closed = false;
    bool m_closedWhilePreparing = false;
};

} // namespace vantor
