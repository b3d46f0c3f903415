#include "ReplacedFiles.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace vantor {

QStringList ControllerFileNames(const QStringList& listingLines) {
    // owner, yy/mm/dd, hhmm, attributes (d s pe pw pr e w r), sector, byte count, name
    static const QRegularExpression os9Line(QStringLiteral(
        R"(^\s*\S+\s+\S+\s+\S+\s+([d-][s-][e-][w-][r-][e-][w-][r-])\s+[0-9A-Fa-f]+\s+\d+ (.+)$)"));
    // type and permissions, links, owner, group, size, three date columns, name
    static const QRegularExpression unixLine(
        QStringLiteral(R"(^([-dlcbps])[-rwxsStTl]{9}\S*\s+\d+\s+\S+\s+\S+\s+\d+\s+\S+\s+\S+\s+\S+ (.+)$)"));
    QStringList names;
    for (QString line : listingLines) {
        while (line.endsWith(u'\n') || line.endsWith(u'\r'))
            line.chop(1);
        if (const auto m = os9Line.match(line); m.hasMatch()) {
            if (!m.captured(1).startsWith(u'd'))
                names.append(m.captured(2));
        } else if (const auto u = unixLine.match(line); u.hasMatch()) {
            if (u.captured(1) == u"-")
                names.append(u.captured(2));
        }
    }
    return names;
}

TReplacedFiles::TReplacedFiles(QString dataFolder, const QDateTime& runTime) {
    if (dataFolder.isEmpty() || !QDir::isAbsolutePath(dataFolder))
        return;
    const QString base = QDir(dataFolder).filePath(FolderName(runTime));
    m_folder = base;
    // Two runs in one second must not share a folder.
    for (int n = 2; QFileInfo::exists(m_folder) || QFileInfo(m_folder).isSymLink(); ++n)
        m_folder = base + QStringLiteral("-%1").arg(n);
    m_folder = QDir::toNativeSeparators(m_folder);
}

QString TReplacedFiles::FolderName(const QDateTime& runTime) {
    return QStringLiteral("RestoreReplaced") + runTime.toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

QString TReplacedFiles::TargetFor(const QString& subPath, const QString& name, QString* error) {
    if (m_folder.isEmpty()) {
        *error = QStringLiteral("no instrument data folder");
        return {};
    }
    if (!m_created) {
        // mkdir, not mkpath: a folder that appeared meanwhile is somebody else's.
        if (!QDir().mkdir(m_folder)) {
            *error = QStringLiteral("cannot create ") + m_folder;
            return {};
        }
        m_created = true;
    }
    const QString folder = subPath.isEmpty() ? m_folder : QDir(m_folder).filePath(subPath);
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create ") + QDir::toNativeSeparators(folder);
        return {};
    }
    return QDir::toNativeSeparators(QDir(folder).filePath(name));
}

} // namespace vantor
