#include "DirScan.h"

#include <QDir>
#include <QDirIterator>

namespace vantor {

namespace {

bool isSeparator(QChar c) {
    return c == QDir::separator() || c == u'/';
}

QString nameOf(const QString& path) {
    qsizetype cut = path.size();
    while (cut > 0 && !isSeparator(path.at(cut - 1)))
        --cut;
    return path.mid(cut);
}

bool matchesOne(const QString& pattern, const QString& name) {
    const qsizetype star = pattern.indexOf(u'*');
    if (star < 0)
        return name.compare(pattern, Qt::CaseInsensitive) == 0;
    if (star == 0) {
        const QString suffix = pattern.mid(1);
        return name.size() > suffix.size() && name.endsWith(suffix, Qt::CaseInsensitive);
    }
    // Only the text before the first "*" is compared; the name must be longer than the
    // pattern up to and including that "*".
    return name.size() > star + 1 && name.startsWith(pattern.left(star), Qt::CaseInsensitive);
}

} // namespace

TDirScan::TDirScan(QObject* owner) : QObject(owner) {}

void TDirScan::SetLevels(int levels) {
    m_levels = qBound(kMinLevels, levels, kMaxLevels);
}

bool TDirScan::Matches(const QStringList& patterns, const QString& path) {
    const QString name = nameOf(path);
    for (const QString& pattern : patterns)
        if (matchesOne(pattern, name))
            return true;
    return false;
}

int TDirScan::Execute(const QString& rootFolder) {
    m_rootDir = rootFolder;
    ResetDepth();
    return ScanDirectory(rootFolder);
}

int TDirScan::ScanDirectory(const QString& folder) {
    int count = 0;
    m_currentDir = folder;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo entry = it.fileInfo();
        const QString name = entry.fileName();
        if (entry.isDir()) {
            const QString path = folder + name + QDir::separator();
            bool canAdd = m_depth < m_levels;
            if (OnDirFound)
                OnDirFound(this, path, canAdd);
            if (canAdd) {
                DirAdded(path, entry);
                if (OnDirAdded)
                    OnDirAdded(this, path);
            }
            if (RecursiveScan && m_depth < m_levels) {
                // A folder whose handler refused it is still walked; it gets the depth
                // DirAdded would have given it, so the DirDone at its end leaves Depth as
                // it was.
                if (!canAdd)
                    ++m_depth;
                count += ScanDirectory(path);
                m_currentDir = folder;
            } else {
                // Only a folder DirAdded raised the depth for is closed as descended.
                DirDone(path, canAdd, count);
            }
            continue;
        }
        const QString path = folder + name;
        if (!Matches(m_acceptedFiles, path))
            continue;
        ++count;
        bool canAdd = true;
        const QString reported = AbsolutePass ? path : name;
        if (OnFileFound)
            OnFileFound(this, reported, canAdd);
        if (canAdd) {
            FileAdded(folder, name, entry);
            if (OnFileAdded)
                OnFileAdded(this, reported);
        }
    }
    DirDone(folder, true, count);
    return count;
}

void TDirScan::FileAdded(const QString&, const QString&, const QFileInfo&) {}

void TDirScan::DirAdded(const QString&, const QFileInfo&) {
    if (RecursiveScan)
        ++m_depth;
    if (m_depth < 0)
        m_depth = 0;
}

void TDirScan::DirDone(const QString&, bool descended, int) {
    if (descended && RecursiveScan)
        --m_depth;
}

} // namespace vantor
