#pragma once

#include "BackupPlan.h"
#include "DirScan.h"
#include "RestoreStep.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

namespace vantor {

class TFtpClient;

// Restores the instrument's system data from a backup folder: files of the backup folder
// are copied into the instrument PC's data folder and uploaded into the controller's data
// folders, entry by entry as the backup plan says, limited to the data types of a mask. It
// keeps a log of every step and writes it as "Restore.txt" into the backup folder.
//
// Owns its FTP client (port 21, 5 s time-out, user "super", binary transfers) and its
// directory scanner. The host prepares it in this order: SetHost, SetLocalBase,
// SetRemoteBase, LoadPlan("SystemBkup.ini"), ConnectController; then UploadFile places the
// ion-beam guard module, and the dialog calls Restore.
//
// Restore and Preview block, pumping events through the program's one wait, so the dialog
// stays usable; its Abort button sets Abort, which a run polls after every local copy and
// before every upload. The one message the engine shows, "Cannot Connect To OS9  !!!", goes
// through the Prompter. Plan values that are not numbers raise EConvertError out of
// Restore and Preview; a "Restore.txt" that cannot be written raises FileError.
//
// Local copies are written beside their destination and take its place only when complete.
class TSystemBkup final : public QObject {
    Q_OBJECT

public:
    explicit TSystemBkup(QObject* owner = nullptr);
    ~TSystemBkup() override;

    // --- State ----------------------------------------------------------------------------
    QStringList FileList; // names found by the last ScanLocal
    bool Abort = false;   // set by the dialog to stop a running restore
    QStringList Log;      // the last run's log, one line per entry

    TBackupPlan& Plan() { return m_plan; }
    const TBackupPlan& Plan() const { return m_plan; }
    const QStringList& SectionNames() const { return m_plan.SectionNames; }
    const std::array<QStringList, TBackupPlan::kMaxSections>& Sections() const { return m_plan.Sections; }
    const QStringList& SourceDirs() const { return m_plan.SourceDirs; }
    const QString& PlanFileName() const { return m_plan.PlanFileName; }
    const QString& LocalBase() const { return m_plan.LocalBase(); }
    const QString& RemoteBase() const { return m_plan.RemoteBase(); }
    TFtpClient& Ftp() { return *m_ftp; }
    TDirScan& Scanner() { return *m_scanner; }

    // --- Plan -----------------------------------------------------------------------------
    void SetLocalBase(const QString& folder) { m_plan.SetLocalBase(folder); }
    void SetRemoteBase(const QString& directory) { m_plan.SetRemoteBase(directory); }
    void LoadPlan(const QString& fileName) { m_plan.LoadPlan(fileName); }
    bool WriteDefaultPlan() const { return m_plan.WriteDefaultPlan(); }
    void ReadPlan() { m_plan.ReadPlan(); }
    quint32 EntryFlags(const QStringList& list, int index) const {
        return TBackupPlan::EntryFlags(list, index);
    }
    QString InstrumentDir(int section, int index) const { return m_plan.InstrumentDir(section, index); }
    // Appends its directory-selection lines to Log.
    QString BackupSubPath(int section, int index) { return m_plan.BackupSubPath(section, index, &Log); }

    // --- Controller -----------------------------------------------------------------------
    // The FTP client's host, port 21, 5 s time-out, "super" / "kolm".
    void SetHost(const QString& host);
    // Connects and logs in (binary transfers) unless already connected; false when that
    // failed. Cheap on an open connection, so it is called before every controller entry.
    bool ConnectController();
    // Changes to `remoteDir` and uploads localFolder + fileName under fileName; false when
    // either failed (the FTP failure is in Log).
    bool UploadFile(const QString& localFolder, const QString& remoteDir, const QString& fileName);

    // --- Restore --------------------------------------------------------------------------
    void AddLog(const QString& line) { Log.append(line); }
    // FileList := the files of `folder` (ending with the separator) matching `pattern`.
    void ScanLocal(const QString& folder, const QString& pattern);
    // Lines the next Restore puts first in its log (once), for what happened before the run
    // that its reader must know, such as an ion-beam stop that could not be sent.
    void SetLogPreface(const QStringList& lines) { m_logPreface = lines; }

    // Restores from `backupFolder` (blanks around it and one final separator ignored) what
    // `mask` selects (0 selects everything). False, with nothing touched, when the folder
    // does not exist or cannot be entered. True after a complete run, which leaves its log
    // as "Restore.txt" in the backup folder, and after an aborted one, which leaves no
    // "Restore.txt".
    bool Restore(const QString& backupFolder, quint32 mask);

    // The steps the last Restore performed, in order (an aborted run's last step is the one
    // it stopped at).
    const QList<TRestoreStep>& PerformedSteps() const { return m_performed; }

private:
    struct SectionOutcome;
    bool backupFolderUsable(const QString& dir) const;
    QString backupDirOf(const QString& backupFolder) const;
    TRestorePlanner planner(const QString& dir, quint32 mask);
    bool runSection(const QList<TRestoreStep>& steps); // false: aborted
    bool copyFile(const QString& source, const QString& target) const;
    void saveLog(const QString& path) const;
    void attachFtpEvents();

    TBackupPlan m_plan;
    TFtpClient* m_ftp;   // owned (QObject child)
    TDirScan* m_scanner; // owned (QObject child)
    QStringList m_logPreface;
    QList<TRestoreStep> m_performed;
};

} // namespace vantor
