#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantor::paths {

namespace {

bool isSeparator(QChar c) {
#ifdef Q_OS_WIN
    return c == u'/' || c == u'\\';
#else
    return c == u'/';
#endif
}

// Length of the root at the start of the path ("/" or "C:\"), 0 when relative.
qsizetype rootLength(const QString& path) {
#ifdef Q_OS_WIN
    if (path.size() >= 3 && path.at(0).isLetter() && path.at(1) == u':' && isSeparator(path.at(2)))
        return 3;
#endif
    return !path.isEmpty() && isSeparator(path.at(0)) ? 1 : 0;
}

} // namespace

QString toNative(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString localDefault(const QString& windowsPath) {
#ifdef Q_OS_WIN
    return windowsPath;
#else
    QString rest = windowsPath;
    const bool driveRooted = rest.size() >= 2 && rest.at(0).isLetter() && rest.at(1) == u':' &&
                             (rest.size() == 2 || rest.at(2) == u'\\' || rest.at(2) == u'/');
    rest.replace(u'\\', u'/');
    if (!driveRooted)
        return rest;
    rest = rest.mid(2);
    while (rest.startsWith(u'/'))
        rest.remove(0, 1);
    return stripTrailingSeparator(QDir::cleanPath(join(QDir::homePath(), rest)));
#endif
}

QString stripTrailingSeparator(const QString& path) {
    const qsizetype root = rootLength(path);
    qsizetype end = path.size();
    while (end > root && isSeparator(path.at(end - 1)))
        --end;
    return toNative(path.left(end));
}

QString join(const QString& folder, const QString& name) {
    if (folder.isEmpty())
        return toNative(name);
    QString head = stripTrailingSeparator(folder);
    qsizetype from = 0;
    while (from < name.size() && isSeparator(name.at(from)))
        ++from;
    if (!isSeparator(head.back()))
        head += QDir::separator();
    return toNative(head + name.mid(from));
}

QString parentFolder(const QString& path) {
    const QString s = stripTrailingSeparator(path);
    const qsizetype root = rootLength(s);
    qsizetype cut = s.size();
    while (cut > root && !isSeparator(s.at(cut - 1)))
        --cut;
    if (cut == 0)
        return {};
    if (cut <= root)
        return toNative(s.left(root));
    return stripTrailingSeparator(s.left(cut - 1));
}

QString ionkillLocalFile() {
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\ionkill");
#else
    return join(QDir::tempPath(), QStringLiteral("ionkill"));
#endif
}

QString programFolder() {
    if (QCoreApplication::instance())
        return toNative(QCoreApplication::applicationDirPath());
    return toNative(QDir::currentPath());
}

QString remoteNameFor(const QString& localName) {
    return QString::fromLatin1(QFile::encodeName(localName));
}

QString localNameFor(const QString& remoteName) {
    return QFile::decodeName(remoteName.toLatin1());
}

QString absoluteIn(const QString& base, const QString& path) {
    const QString combined = rootLength(path) > 0 ? path : join(base, path);
    QString clean = QDir::cleanPath(QDir::fromNativeSeparators(combined));
    // Above the root there is only the root ("/.." is "/").
    const qsizetype root = rootLength(toNative(clean));
    while (root > 0 && (clean.mid(root) == u".." || clean.mid(root).startsWith(u"../")))
        clean.remove(root, clean.mid(root) == u".." ? 2 : 3);
    return toNative(clean);
}

QString fileInFolder(const QString& folder, const QString& name) {
    const QString exact = absoluteIn(folder, name);
    if (QFileInfo::exists(exact) || rootLength(folder) == 0)
        return exact;
    const QStringList entries = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return join(folder, entry);
    return exact;
}

bool isEnterableFolder(const QString& absolutePath) {
    if (rootLength(absolutePath) == 0)
        return false; // a relative path would be read against the process's folder
    const QFileInfo info(absolutePath);
#ifdef Q_OS_WIN
    return info.isDir();
#else
    return info.isDir() && info.isExecutable();
#endif
}

bool isPlainRemoteName(const QString& name) {
    if (name.isEmpty() || name == u"." || name == u"..")
        return false;
    for (const QChar c : name) {
        if (c == u'/' || c == u'\\' || c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
#ifdef Q_OS_WIN
        if (QStringView(u":*?\"<>|").contains(c))
            return false;
#endif
    }
#ifdef Q_OS_WIN
    // Windows drops trailing dots and blanks, so "..." or "a. " would name something else.
    if (name.endsWith(u'.') || name.endsWith(u' '))
        return false;
#endif
    return true;
}

} // namespace vantor::paths
