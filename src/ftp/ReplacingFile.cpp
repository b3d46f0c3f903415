#include "ReplacingFile.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

namespace vantor {

namespace {

std::filesystem::path nativePath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

} // namespace

ReplacingFile::ReplacingFile(QString target) : m_target(std::move(target)) {}

ReplacingFile::~ReplacingFile() {
    if (m_committed || m_file.fileName().isEmpty())
        return;
    m_file.close();
    m_file.remove();
}

bool ReplacingFile::open() {
    const QFileInfo target(m_target);
    if (target.isDir()) {
        m_error = QStringLiteral("Is a folder");
        return false;
    }
    // A replaced file keeps its permissions; a new one gets those of any new file.
    const QFileDevice::Permissions permissions =
        target.exists() ? QFile::permissions(m_target)
                        : QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                              QFileDevice::WriteUser | QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                              QFileDevice::ReadOther | QFileDevice::WriteOther;
    const QString stem = target.absolutePath() + QStringLiteral("/.") + target.fileName() + QLatin1Char('.');
    for (int attempt = 0; attempt < 20; ++attempt) {
        m_file.setFileName(stem + QString::number(QRandomGenerator::global()->generate(), 36) +
                           QStringLiteral(".part"));
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered, permissions))
            return true;
        if (!m_file.exists())
            break;
    }
    m_error = m_file.errorString();
    m_file.setFileName(QString());
    return false;
}

bool ReplacingFile::commit() {
    m_file.close();
    if (m_file.error() != QFileDevice::NoError) {
        m_error = m_file.errorString();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(nativePath(m_file.fileName()), nativePath(m_target), ec);
    if (ec) {
        m_error = QString::fromStdString(ec.message());
        return false;
    }
    m_committed = true;
    return true;
}

} // namespace vantor
