#pragma once

#include "BackupPlan.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantor {

// One thing a restore does. A restore first turns the plan, the mask, the claims and the
// paths into these steps, section by section, and then performs them; a preview makes the
// same steps and performs none, so the two cannot disagree.
struct TRestoreStep {
    enum Kind {
        Note,          // a log line only: a directory selected by the entry
        MakeFolder,    // Target is missing on the instrument PC and is created
        Copy,          // Source is copied to Target on the instrument PC
        CopyIgnored,   // Source is not copied: claimed before, or its type not selected
        Connect,       // the controller connection is made (or checked) for an entry
        UploadIgnored, // the controller entry is not restored: Source is its claim key
        Upload,        // Source + Name is uploaded into the controller folder Target
    };
    // Whether a Copy or Upload puts a file where one already is (for the controller: as its
    // listing shows). Unknown when the controller could not be asked.
    enum Replacement { NoReplacement, Replaces, ReplacementUnknown };

    Kind kind = Note;
    int section = 0; // index in SectionNames
    int entry = 0;   // line of that section
    QString Source;  // Copy: the backup file; Upload: the backup folder (with separator)
    QString Target;  // Copy: the PC file; Upload: the controller folder; MakeFolder: it
    QString Name;    // Copy, Upload: the file name
    QString SubPath; // the entry's folder inside a backup folder ("" for its root)
    QString LogLine; // what the restore log says for it; empty for MakeFolder and Connect
    Replacement replaces = NoReplacement;

    // A line for the engineer, such as "Upload C:\bk\HARD\x to /h0/QEL_V4/data/HARD
    // (replaces the controller's file)".
    QString Describe() const;
    // Same step, whatever its Replacement.
    bool sameAction(const TRestoreStep& other) const;
};

// Plans the steps of one plan section, exactly in the order a restore performs them: for
// each entry its directory-selection notes, then for a PC entry the folder it creates and
// its copies or ignores, for a controller entry the connection, then its ignore or its
// uploads. The claims are private to the section.
class TRestorePlanner final {
public:
    // Lists the files of `folder` (with separator) that match `pattern`, in scan order.
    using Scan = std::function<QStringList(const QString& folder, const QString& pattern)>;

    TRestorePlanner(const TBackupPlan& plan, QString backupDir, quint32 mask, Scan scan);

    // PC-side entries are only planned with an absolute local data folder.
    bool PlansPcSide() const;
    // The steps before the first section: a note when the PC side is not planned.
    QList<TRestoreStep> Preamble() const;
    QList<TRestoreStep> PlanSection(int section) const;

private:
    using Claims = QSet<QString>; // exact, case-sensitive keys
    void planPcEntry(const TRestoreStep& base, quint32 flags, Claims& claimed,
                     QList<TRestoreStep>& out) const;
    void planControllerEntry(const TRestoreStep& base, quint32 flags, Claims& claimed,
                             QList<TRestoreStep>& out) const;
    bool claim(const QString& key, quint32 flags, Claims& claimed) const;

    const TBackupPlan& m_plan;
    QString m_dir;
    quint32 m_mask;
    Scan m_scan;
};

// Texts of the restore log.
namespace restorelog {
const QString Copy = QStringLiteral("o--Copy ");
const QString CopyIgnored = QStringLiteral("x--Copy(ignored) ");
const QString Upload = QStringLiteral("o--OS9-R ");
const QString UploadIgnored = QStringLiteral("x--Copy OS9(ignored) ");
const QString To = QStringLiteral(" to ");
const QString CopyFail = QStringLiteral("-----> Copy fail");
const QString ConnectFail = QStringLiteral("Connect Fail");
const QString CannotConnect = QStringLiteral("Cannot Connect To OS9  !!!");
const QString NoDataFolder = QStringLiteral("-----> No instrument data folder: PC files are not restored");
const QString Keep = QStringLiteral("k--Keep ");
const QString KeepController = QStringLiteral("k--Keep OS9 ");
const QString KeepFail = QStringLiteral("-----> Keep fail ");
const QString KeptIn = QStringLiteral("Replaced files are kept in ");
} // namespace restorelog

} // namespace vantor
