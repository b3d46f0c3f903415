#pragma once

#include <QFileInfo>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace vantor {

using TDirFoundEvent = std::function<void(QObject* Sender, const QString& DirName, bool& CanAdd)>;
using TDirAddedEvent = std::function<void(QObject* Sender, const QString& DirName)>;
using TFileFoundEvent = std::function<void(QObject* Sender, const QString& FileName, bool& CanAdd)>;
using TFileAddedEvent = std::function<void(QObject* Sender, const QString& FileName)>;

// Walks a local folder and reports the sub-folders it holds and the files whose names match
// AcceptedFiles; with RecursiveScan it descends into sub-folders down to Levels deep.
//
// The owner sets AcceptedFiles, the flags and the events, then calls Execute with a folder
// path that ends with the local separator; every path the scanner builds is that folder
// followed directly by an entry name (sub-folders get a separator after the name). Entries
// come in the order the file system lists them, hidden and system ones included.
//
// Events are called synchronously from inside Execute, in this order per entry:
//   folder: OnDirFound (may clear CanAdd; it starts as Depth < Levels), OnDirAdded when
//           CanAdd stayed set;
//   file that matches: OnFileFound (may clear CanAdd), OnFileAdded when CanAdd stayed set.
// A file counts as found whether or not its handler cleared CanAdd.
//
// Matching (letter case ignored; only the name after the last separator is compared; the
// first pattern that matches decides): a pattern without "*" must equal the name; "*x" needs
// a name longer than x that ends with x ("*" matches everything); "ab*..." needs a name
// that begins with "ab" and is longer than the pattern's text up to its "*" inclusive
// (whatever follows that "*" is ignored). There is no "?" wildcard.
class TDirScan : public QObject {
    Q_OBJECT

public:
    static constexpr int kMinLevels = 2;
    static constexpr int kMaxLevels = 15;

    explicit TDirScan(QObject* owner = nullptr);

    // --- Published properties -----------------------------------------------------------
    TDirFoundEvent OnDirFound;
    TDirAddedEvent OnDirAdded;
    TFileFoundEvent OnFileFound;
    TFileAddedEvent OnFileAdded;
    bool RecursiveScan = false;
    bool AbsolutePass = false; // file events receive the full path, else the bare name

    int Levels() const { return m_levels; }
    void SetLevels(int levels); // clamped to 2 ... 15
    const QStringList& AcceptedFiles() const { return m_acceptedFiles; }
    void SetAcceptedFiles(const QStringList& patterns) { m_acceptedFiles = patterns; }

    // --- Run-time state -----------------------------------------------------------------
    const QString& RootDir() const { return m_rootDir; }
    const QString& CurrentDir() const { return m_currentDir; }
    int Depth() const { return m_depth; } // the root folder is at depth 1

    // --- Operations ---------------------------------------------------------------------
    // Lists one folder and returns the number of matching files found (descended folders
    // included).
    virtual int ScanDirectory(const QString& folder);
    virtual void FileAdded(const QString& folder, const QString& name, const QFileInfo& entry);
    virtual void DirAdded(const QString& folderPath, const QFileInfo& entry);
    virtual void DirDone(const QString& folderPath, bool descended, int count);
    virtual void ResetDepth() { m_depth = 1; }
    virtual int Execute(const QString& rootFolder);

    // Whether `path` (its name after the last separator) matches one of `patterns`.
    static bool Matches(const QStringList& patterns, const QString& path);

private:
    int m_levels = kMaxLevels;
    QStringList m_acceptedFiles;
    QString m_rootDir;
    QString m_currentDir;
    int m_depth = 1;
};

} // namespace vantor
