#include "BackupPlan.h"

#include "support/IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantor {

namespace {

const QString kSectionNames = QStringLiteral("BkupSectionNames");
const QString kSourceDir = QStringLiteral("SourceDir");

bool endsWithLocalSeparator(const QString& path) {
    return !path.isEmpty() && (path.back() == QDir::separator() || path.back() == u'/');
}

// The integer parser the plan values have always been read with: optional sign, then
// decimal digits or "$" and hexadecimal digits; the result is a 32-bit word.
quint32 parseFlags(const QString& text) {
    const auto invalid = [&] {
        return EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    };
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(u'-') || t.startsWith(u'+')) {
        negative = t.front() == u'-';
        t.remove(0, 1);
    }
    bool ok = false;
    qint64 value = 0;
    if (t.startsWith(u'$')) {
        const QString digits = t.mid(1);
        if (digits.isEmpty() || digits.size() > 8)
            throw invalid();
        value = qint64(digits.toULongLong(&ok, 16));
        if (!ok)
            throw invalid();
        if (value > 0x7FFFFFFF)
            value -= qint64(1) << 32; // "$FFFFFFFF" is -1, as a 32-bit integer
    } else {
        for (const QChar c : t)
            if (!c.isDigit() || c.unicode() > 127)
                throw invalid();
        value = t.toLongLong(&ok, 10);
        if (!ok || value > 0x80000000LL || (!negative && value > 0x7FFFFFFF))
            throw invalid();
    }
    if (negative)
        value = -value;
    return quint32(qint32(value));
}

} // namespace

void TBackupPlan::SetLocalBase(const QString& folder) {
    m_localBase = QDir::toNativeSeparators(folder);
    if (!m_localBase.isEmpty() && !endsWithLocalSeparator(m_localBase))
        m_localBase += QDir::separator();
}

void TBackupPlan::SetRemoteBase(const QString& directory) {
    m_remoteBase = directory;
    if (!m_remoteBase.isEmpty() && !m_remoteBase.endsWith(u'/'))
        m_remoteBase += u'/';
}

QString TBackupPlan::PlanFilePath() const {
    return m_localBase + PlanFileName;
}

const QList<TBackupPlan::DefaultSection>& TBackupPlan::DefaultSections() {
    static const QList<DefaultSection> sections{
        {QStringLiteral("AllFiles"),
         {{0x00100000, QStringLiteral("IonSource.ini")},
          {0x00100008, QStringLiteral("IonGunExchange*")},
          {0x00100400, QStringLiteral("*.ion")},
          {0x00200000, QStringLiteral("Option.ini")},
          {0x00080000, QStringLiteral("StageLimit.ini")},
          {0x00080000, QStringLiteral("StageCorrection.ini")},
          {0x00080000, QStringLiteral("QELInitData.ini")},
          {0x00010000, QStringLiteral("Hard3Const.txt")},
          {0x00010000, QStringLiteral("Hard3Const2.txt")},
          {0x10000000, QStringLiteral("*.ini")},
          {0x00400008, QStringLiteral("Ap*")},
          {0x10000008, QStringLiteral("*")}}},
        {QStringLiteral("AllFiles0"),
         {{0x00100021, QStringLiteral("Memory.ion")},
          {0x00100021, QStringLiteral("lev2200.ion")},
          {0x00100021, QStringLiteral("mem2200.ion")},
          {0x00100021, QStringLiteral("mng2200.ion")},
          {0x00020021, QStringLiteral("mon2000.ion")},
          {0x10000041, QStringLiteral("*")}}},
        {QStringLiteral("AllFiles1"), {{0x10000081, QStringLiteral("*")}}},
        {QStringLiteral("AllFiles2"), {{0x10000101, QStringLiteral("*")}}},
        {QStringLiteral("AllFiles3"), {{0x10000201, QStringLiteral("*")}}},
    };
    return sections;
}

const QList<TRecFileAttr>& TBackupPlan::DefaultSourceDirs() {
    static const QList<TRecFileAttr> dirs{
        {0x00000008, QStringLiteral("dbase")},   {0x00000400, QStringLiteral("2200ion")},
        {0x00000021, QStringLiteral("ionlog")},  {0x00000041, QStringLiteral("HARD")},
        {0x00000081, QStringLiteral("MANAGER")}, {0x00000101, QStringLiteral("STAGE")},
        {0x00000201, QStringLiteral("STAGE2")},
    };
    return dirs;
}

QString TBackupPlan::FlagsText(quint32 flags) {
    return QStringLiteral("$%1").arg(flags, 8, 16, QLatin1Char('0')).toUpper();
}

QString TBackupPlan::LineName(const QString& line) {
    const qsizetype eq = line.indexOf(u'=');
    return eq < 0 ? line : line.left(eq);
}

void TBackupPlan::LoadPlan(const QString& fileName) {
    PlanFileName = fileName;
    if (m_localBase.isEmpty()) {
        // Without the instrument's data folder the file would land in whatever folder is
        // current; the plan is the default either way.
        takeDefaults();
        return;
    }
    const QString path = PlanFilePath();
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        QFile::remove(path);
    if (!WriteDefaultPlan()) {
        takeDefaults();
        return;
    }
    ReadPlan();
}

bool TBackupPlan::WriteDefaultPlan() const {
    const QString path = PlanFilePath();
    if (QFileInfo::exists(path))
        return true;
    {
        QFile created(path);
        if (!created.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
    }
    IniFile ini(path);
    for (const DefaultSection& section : DefaultSections()) {
        if (!ini.write(kSectionNames, section.name, QStringLiteral("1")))
            return false;
        QList<IniFile::Entry> entries;
        for (const TRecFileAttr& row : section.entries) {
            if (row.Name.isEmpty() || entries.size() == kMaxSectionEntries)
                break;
            entries.append({row.Name, FlagsText(row.Attr)});
        }
        if (!ini.write(section.name, entries))
            return false;
    }
    QList<IniFile::Entry> dirs;
    for (const TRecFileAttr& row : DefaultSourceDirs()) {
        if (row.Name.isEmpty() || dirs.size() == kMaxSourceDirs)
            break;
        dirs.append({row.Name, FlagsText(row.Attr)});
    }
    return ini.write(kSourceDir, dirs);
}

void TBackupPlan::ReadPlan() {
    const IniFile ini(PlanFilePath());
    SectionNames = ini.keys(kSectionNames).mid(0, kMaxSections);
    for (int i = 0; i < kMaxSections; ++i)
        Sections[i] = i < SectionNames.size() ? ini.sectionValues(SectionNames.at(i)) : QStringList();
    SourceDirs = ini.sectionValues(kSourceDir);
}

void TBackupPlan::takeDefaults() {
    SectionNames.clear();
    for (QStringList& s : Sections)
        s.clear();
    int i = 0;
    for (const DefaultSection& section : DefaultSections()) {
        SectionNames.append(section.name);
        for (const TRecFileAttr& row : section.entries)
            Sections[i].append(row.Name + u'=' + FlagsText(row.Attr));
        ++i;
    }
    SourceDirs.clear();
    for (const TRecFileAttr& row : DefaultSourceDirs())
        SourceDirs.append(row.Name + u'=' + FlagsText(row.Attr));
}

quint32 TBackupPlan::EntryFlags(const QStringList& list, int index) {
    const QString name = LineName(list.at(index));
    for (const QString& line : list) {
        if (LineName(line).compare(name, Qt::CaseInsensitive) == 0)
            return parseFlags(line.mid(name.size() + 1));
    }
    return parseFlags(QString());
}

QList<int> TBackupPlan::selectedDirs(quint32 flags) const {
    QList<int> selected;
    for (int j = 0; j < SourceDirs.size() && j < kMaxSourceDirs; ++j) {
        if (flags & (EntryFlags(SourceDirs, j) & ~planbits::OnController))
            selected.append(j);
    }
    return selected;
}

QString TBackupPlan::InstrumentDir(int section, int index) const {
    const quint32 flags = EntryFlags(Sections.at(section), index);
    QString result = (flags & planbits::OnController) ? m_remoteBase : m_localBase;
    for (const int j : selectedDirs(flags))
        result += LineName(SourceDirs.at(j));
    // Only the local side loses its final separator; a remote "/" stays.
    if (!(flags & planbits::OnController) && endsWithLocalSeparator(result))
        result.chop(1);
    return result;
}

QString TBackupPlan::BackupSubPath(int section, int index, QStringList* log) const {
    const quint32 flags = EntryFlags(Sections.at(section), index);
    QStringList names;
    for (const int j : selectedDirs(flags)) {
        const quint32 dirBits = EntryFlags(SourceDirs, j) & ~planbits::OnController;
        if (log)
            log->append(FlagsText(flags).mid(1) + u' ' + FlagsText(dirBits).mid(1));
        names.append(LineName(SourceDirs.at(j)));
    }
    return names.join(QDir::separator());
}

} // namespace vantor
