#pragma once

#include "BackupPlan.h"
#include "DirScan.h"
#include "ReplacedFiles.h"
#include "RestoreStep.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <QHash>

#include <array>
#include <memory>
#include <optional>

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
//
// Nothing a run replaces is lost: before a copy replaces a file on the instrument PC, and
// before an upload replaces a file the controller's listing shows, that file is kept in the
// run's own folder "RestoreReplaced<yyyyMMdd-HHmmss>" in the instrument's data folder, laid
// out like a backup folder, so restoring from that folder with the same data types undoes
// the run (files the run newly created stay). The log names the folder ("Replaced files are
// kept in ...") and each kept file ("k--Keep ... to ..."); a file that cannot be kept is
// logged ("-----> Keep fail ...") and the run goes on. An aborted run writes its log as
// "Restore-aborted.txt" in the backup folder instead of "Restore.txt".
//
// Preview lists the steps a Restore with the same folder and mask would take, each copy and
// upload marked with whether it replaces an existing file, and changes nothing on either
// side: no folder, no copy, no upload, no log file, and Log keeps the last run's lines. It
// connects to the controller to read its listings.
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
    // Both clear FileList, which belonged to the plan read before.
    void LoadPlan(const QString& fileName) {
        FileList.clear();
        m_plan.LoadPlan(fileName);
    }
    bool WriteDefaultPlan() const { return m_plan.WriteDefaultPlan(); }
    void ReadPlan() {
        FileList.clear();
        m_plan.ReadPlan();
    }
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
    // as "Restore.txt" in the backup folder, and after an aborted one, which leaves
    // "Restore-aborted.txt" instead. Without an absolute instrument data folder the PC files
    // are left alone and the log says so first.
    bool Restore(const QString& backupFolder, quint32 mask);

    // The steps the last Restore performed, in order, each copy and upload marked with
    // whether it replaced a file (an aborted run's last step is the one it stopped at).
    const QList<TRestoreStep>& PerformedSteps() const { return m_performed; }
    // Where the last Restore kept the files it replaced; empty when it replaced none.
    QString ReplacedFolder() const;

    // --- Preview --------------------------------------------------------------------------
    // The steps Restore(backupFolder, mask) would take now; false, with `steps` empty, when
    // Restore would refuse the folder. Plan values that are not numbers raise EConvertError.
    bool Preview(const QString& backupFolder, quint32 mask, QList<TRestoreStep>& steps);
    // The list the engineer reads or saves: one line per step (TRestoreStep::Describe),
    // leaving out the bookkeeping steps (directory-selection notes, and connections that
    // were made) that change nothing.
    static QStringList PreviewLines(const QList<TRestoreStep>& steps);
    // Writes lines with CR LF ends, replacing the file only when complete; FileError if not.
    static void SaveLines(const QString& path, const QStringList& lines);

    static const QString RestoreLogName;        // "Restore.txt"
    static const QString AbortedRestoreLogName; // "Restore-aborted.txt"

private:
    // Keeps the engine's FTP events out of the restore log until the returned guard goes.
    [[nodiscard]] auto quietFtp();
    bool backupFolderUsable(const QString& dir) const;
    QString backupDirOf(const QString& backupFolder) const;
    TRestorePlanner planner(const QString& dir, quint32 mask);
    bool runSection(const QList<TRestoreStep>& steps); // false: aborted
    bool copyFile(const QString& source, const QString& target) const;
    TRestoreStep::Replacement keepLocal(const TRestoreStep& step);
    TRestoreStep::Replacement keepRemote(const TRestoreStep& step);
    // Where the file of `step` is kept (its folder made); empty, logged, when it cannot be.
    QString keptTarget(const TRestoreStep& step, const QString& what);
    // The file names in a controller folder, as its listing shows them; an empty list when
    // the folder does not exist, nothing when it could not be listed. Read once per run.
    std::optional<QStringList> controllerNames(const QString& remoteDir);
    static std::optional<QString> listedName(const QStringList& names, const QString& wireName);
    void attachFtpEvents();

    TBackupPlan m_plan;
    TFtpClient* m_ftp;   // owned (QObject child)
    TDirScan* m_scanner; // owned (QObject child)
    QStringList m_logPreface;
    QList<TRestoreStep> m_performed;
    std::unique_ptr<TReplacedFiles> m_replaced;            // the current or last run's kept files
    QHash<QString, std::optional<QStringList>> m_listings; // this run's controller listings
    int m_quiet = 0;          // FTP events of the engine's own look-ups stay out of Log
    QStringList m_quietLines; // listing lines of such a look-up
};

} // namespace vantor
