#pragma once

#include "support/Errors.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>

namespace vantor {

// A plan value that is not an integer ("'abc' is not a valid integer value").
class EConvertError : public Error {
public:
    using Error::Error;
};

// One row of a built-in plan table.
struct TRecFileAttr {
    quint32 Attr = 0;
    QString Name;
};

// Bits of a file entry's flags word.
namespace planbits {
constexpr quint32 OnController = 0x00000001; // the file lives below RemoteBase
constexpr quint32 DirSelection = 0x0000FFFE; // selects SourceDir lines sharing a bit
constexpr quint32 Column = 0x00010000;
constexpr quint32 CurrentIon = 0x00020000;
constexpr quint32 Stage = 0x00080000;
constexpr quint32 Ion = 0x00100000;
constexpr quint32 Option = 0x00200000;
constexpr quint32 Lens = 0x00400000;
constexpr quint32 Other = 0x10000000;
constexpr quint32 AlwaysSet = 0x40000000; // always in a restore's mask
} // namespace planbits

// The backup plan: which files make up the instrument's system data, on which side each
// lives, where its copy lies in a backup folder and which data type it belongs to.
//
// The plan is kept in "SystemBkup.ini" in the instrument's data folder and regenerated from
// the built-in default on every load, so the file always says what the program will do.
// Lines of Sections and SourceDirs are "name=value" texts exactly as read from the file.
class TBackupPlan final {
public:
    static constexpr int kMaxSections = 5;
    static constexpr int kMaxSourceDirs = 20;
    static constexpr int kMaxSectionEntries = 99;

    QStringList SectionNames;                       // in file order, at most five
    std::array<QStringList, kMaxSections> Sections; // "name=value" lines, same order
    QStringList SourceDirs;                         // "name=value" lines, at most 20
    QString PlanFileName;                           // "SystemBkup.ini"

    const QString& LocalBase() const { return m_localBase; }   // ends with the local separator
    const QString& RemoteBase() const { return m_remoteBase; } // ends with "/"
    // The folder as given with a separator added, unless it is empty or already ends so.
    void SetLocalBase(const QString& folder);
    void SetRemoteBase(const QString& directory);

    // LocalBase + PlanFileName.
    QString PlanFilePath() const;

    // Deletes the plan file, writes the default plan in its place and reads it back. With
    // no local data folder, or when the file cannot be written, the default plan is taken
    // as it would have been read, so no file lands anywhere else and the plan is never
    // silently empty.
    void LoadPlan(const QString& fileName);
    // Writes the default plan file when there is none. False when it could not be written.
    bool WriteDefaultPlan() const;
    // Reads SectionNames, Sections and SourceDirs from the plan file.
    void ReadPlan();

    // The flags word of line `index`: the value of the first line with that line's name,
    // read as decimal or "$" hexadecimal text. Anything else raises EConvertError.
    static quint32 EntryFlags(const QStringList& list, int index);
    // The directory of a file entry on its own side, and its relative folder in a backup
    // folder (names joined with the local separator, empty when none is selected). The
    // latter appends one line per selected directory to `log`: "EEEEEEEE DDDDDDDD", the
    // entry's flags and the directory's selection bits in hexadecimal.
    QString InstrumentDir(int section, int index) const;
    QString BackupSubPath(int section, int index, QStringList* log) const;

    // The built-in plan: sections in file order, each with its rows, and the directory table.
    struct DefaultSection {
        QString name;
        QList<TRecFileAttr> entries;
    };
    static const QList<DefaultSection>& DefaultSections();
    static const QList<TRecFileAttr>& DefaultSourceDirs();
    // "$" and eight upper-case hexadecimal digits.
    static QString FlagsText(quint32 flags);
    // The name part of a "name=value" line.
    static QString LineName(const QString& line);

private:
    void takeDefaults();
    QList<int> selectedDirs(quint32 flags) const;

    QString m_localBase;
    QString m_remoteBase;
};

} // namespace vantor
