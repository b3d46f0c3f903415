#include "RestoreStep.h"

#include <QDir>
#include <QFileInfo>

namespace vantor {

namespace {

QString withSeparator(const QString& path) {
    if (path.isEmpty() || path.back() == QDir::separator())
        return path;
    return path + QDir::separator();
}

// The part of an entry name after its last separator.
QString patternOf(const QString& entryName) {
    const qsizetype cut = std::max(entryName.lastIndexOf(u'\\'), entryName.lastIndexOf(QDir::separator()));
    return entryName.mid(cut + 1);
}

QString replacementText(TRestoreStep::Replacement r, bool controller) {
    switch (r) {
    case TRestoreStep::Replaces:
        return controller ? QStringLiteral(" (replaces the controller's file)")
                          : QStringLiteral(" (replaces the existing file)");
    case TRestoreStep::ReplacementUnknown:
        return QStringLiteral(" (controller not reached: may replace a file)");
    case TRestoreStep::NoReplacement:
        break;
    }
    return controller ? QStringLiteral(" (new on the controller)") : QStringLiteral(" (new file)");
}

} // namespace

QString TRestoreStep::Describe() const {
    switch (kind) {
    case Note:
        return section < 0 ? LogLine : QStringLiteral("Folder selection ") + LogLine;
    case MakeFolder:
        return QStringLiteral("Create folder ") + Target;
    case Copy:
        return QStringLiteral("Copy ") + Source + restorelog::To + Target + replacementText(replaces, false);
    case CopyIgnored:
        return QStringLiteral("Ignore ") + Source + QStringLiteral(" (claimed before or type not selected)");
    case Connect:
        return replaces == ReplacementUnknown
                   ? QStringLiteral(
                         "Connect to the controller (not reached now: a run would skip the rest of "
                         "this section)")
                   : QStringLiteral("Connect to the controller");
    case UploadIgnored:
        return QStringLiteral("Ignore controller files ") + Source +
               QStringLiteral(" (claimed before or type not selected)");
    case Upload:
        return QStringLiteral("Upload ") + Source + Name + restorelog::To + Target +
               replacementText(replaces, true);
    }
    return LogLine;
}

bool TRestoreStep::sameAction(const TRestoreStep& other) const {
    return kind == other.kind && section == other.section && entry == other.entry && Source == other.Source &&
           Target == other.Target && Name == other.Name && LogLine == other.LogLine;
}

TRestorePlanner::TRestorePlanner(const TBackupPlan& plan, QString backupDir, quint32 mask, Scan scan)
    : m_plan(plan), m_dir(std::move(backupDir)), m_mask(mask), m_scan(std::move(scan)) {}

bool TRestorePlanner::PlansPcSide() const {
    return !m_plan.LocalBase().isEmpty() && QDir::isAbsolutePath(m_plan.LocalBase());
}

QList<TRestoreStep> TRestorePlanner::Preamble() const {
    if (PlansPcSide())
        return {};
    TRestoreStep note;
    note.kind = TRestoreStep::Note;
    note.section = -1;
    note.entry = -1;
    note.LogLine = restorelog::NoDataFolder;
    return {note};
}

QList<TRestoreStep> TRestorePlanner::PlanSection(int section) const {
    QList<TRestoreStep> out;
    Claims claimed; // private to this section
    const QStringList& lines = m_plan.Sections.at(section);
    for (int k = 0; k < lines.size(); ++k) {
        const quint32 flags = TBackupPlan::EntryFlags(lines, k);
        const bool controller = flags & planbits::OnController;
        if (!controller && !PlansPcSide())
            continue;
        TRestoreStep base;
        base.section = section;
        base.entry = k;
        QStringList notes;
        base.SubPath = m_plan.BackupSubPath(section, k, &notes);
        for (const QString& note : std::as_const(notes)) {
            TRestoreStep step = base;
            step.kind = TRestoreStep::Note;
            step.LogLine = note;
            out.append(step);
        }
        base.Source = withSeparator(m_dir + QDir::separator() + base.SubPath);
        if (controller)
            planControllerEntry(base, flags, claimed, out);
        else
            planPcEntry(base, flags, claimed, out);
    }
    return out;
}

void TRestorePlanner::planPcEntry(const TRestoreStep& base, quint32 flags, Claims& claimed,
                                  QList<TRestoreStep>& out) const {
    const QString src = base.Source;
    const QString dst = withSeparator(m_plan.InstrumentDir(base.section, base.entry));
    const bool plannedBefore = std::any_of(out.cbegin(), out.cend(), [&](const TRestoreStep& s) {
        return s.kind == TRestoreStep::MakeFolder && s.Target == dst;
    });
    if (!plannedBefore && !QFileInfo(dst).isDir()) {
        TRestoreStep step = base;
        step.kind = TRestoreStep::MakeFolder;
        step.Source.clear();
        step.Target = dst;
        out.append(step);
    }
    const QString name = TBackupPlan::LineName(m_plan.Sections.at(base.section).at(base.entry));
    for (const QString& n : m_scan(src, patternOf(name))) {
        TRestoreStep step = base;
        step.Source = src + n;
        step.Target = dst + n;
        step.Name = n;
        if (claim(step.Source, flags, claimed)) {
            step.kind = TRestoreStep::Copy;
            step.LogLine = restorelog::Copy + step.Source + restorelog::To + step.Target;
        } else {
            step.kind = TRestoreStep::CopyIgnored;
            step.LogLine = restorelog::CopyIgnored + step.Source + restorelog::To + step.Target;
        }
        out.append(step);
    }
}

void TRestorePlanner::planControllerEntry(const TRestoreStep& base, quint32 flags, Claims& claimed,
                                          QList<TRestoreStep>& out) const {
    const QString src = base.Source;
    const QString rdir = m_plan.InstrumentDir(base.section, base.entry);
    TRestoreStep connect = base;
    connect.kind = TRestoreStep::Connect;
    connect.Target = rdir;
    out.append(connect);

    const QString name = TBackupPlan::LineName(m_plan.Sections.at(base.section).at(base.entry));
    const QString key = src + u'/' + name;
    if (!claim(key, flags, claimed)) {
        TRestoreStep step = base;
        step.kind = TRestoreStep::UploadIgnored;
        step.Source = key;
        step.Target = rdir;
        step.LogLine = restorelog::UploadIgnored + key;
        out.append(step);
        return;
    }
    for (const QString& n : m_scan(src, name)) {
        TRestoreStep step = base;
        step.kind = TRestoreStep::Upload;
        step.Target = rdir;
        step.Name = n;
        step.LogLine = restorelog::Upload + src + u'/' + n + restorelog::To + rdir;
        out.append(step);
    }
}

bool TRestorePlanner::claim(const QString& key, quint32 flags, Claims& claimed) const {
    const bool selected = m_mask == 0 || (flags & m_mask) != 0;
    if (claimed.contains(key))
        return false;
    claimed.insert(key);
    return selected;
}

} // namespace vantor
