// The backup plan file as the restore reads it: whatever it holds, the plan keeps its
// bounds, every entry's flags are read or refused with the conversion error, and each
// entry's folders are built from the plan's own directory lines below the right base.

#include "FuzzSupport.h"

#include "backup/BackupPlan.h"

#include <QDir>
#include <QFile>

using namespace vantor;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString folder = fuzz::scratchFolder();
    {
        QFile file(folder + QStringLiteral("/SystemBkup.ini"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
            fuzz::fail("the scratch file can be written", file.fileName());
    }
    TBackupPlan plan;
    plan.SetLocalBase(folder);
    plan.SetRemoteBase(QStringLiteral("/h0/QEL"));
    plan.PlanFileName = QStringLiteral("SystemBkup.ini");
    plan.ReadPlan();

    VANTOR_FUZZ_CHECK(plan.SectionNames.size() <= TBackupPlan::kMaxSections, fuzz::hex(bytes));
    QStringList dirNames;
    for (const QString& line : plan.SourceDirs)
        dirNames.append(TBackupPlan::LineName(line));

    for (int section = 0; section < TBackupPlan::kMaxSections; ++section) {
        for (int index = 0; index < plan.Sections.at(section).size(); ++index) {
            try {
                const quint32 flags = TBackupPlan::EntryFlags(plan.Sections.at(section), index);
                // What the plan writes reads back as the same word.
                const QStringList written{QStringLiteral("x=") + TBackupPlan::FlagsText(flags)};
                VANTOR_FUZZ_CHECK(TBackupPlan::EntryFlags(written, 0) == flags, fuzz::hex(bytes));

                const QString dir = plan.InstrumentDir(section, index);
                const QString& base = (flags & planbits::OnController) ? plan.RemoteBase() : plan.LocalBase();
                VANTOR_FUZZ_CHECK(dir.startsWith(base.chopped(1)), fuzz::hex(bytes));

                QStringList log;
                const QString sub = plan.BackupSubPath(section, index, &log);
                // One directory name per logged selection; names holding a separator
                // themselves cannot be told apart in the joined path.
                if (!dirNames.join(QString()).contains(QDir::separator())) {
                    const QStringList parts = sub.isEmpty() ? QStringList() : sub.split(QDir::separator());
                    VANTOR_FUZZ_CHECK(parts.size() == log.size(), fuzz::hex(bytes));
                    for (const QString& part : parts)
                        VANTOR_FUZZ_CHECK(dirNames.contains(part), fuzz::hex(bytes));
                }
            } catch (const EConvertError&) {
                // A value that is no integer: the restore reports it.
            }
        }
    }
    return 0;
}
