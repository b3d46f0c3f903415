#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace vantor::test {

// Runs the main window as installed on an instrument PC: current folder X/Exec, data in
// X/Data, no folder variables set. The previous current folder comes back at the end.
class InstrumentFolders final {
public:
    InstrumentFolders() : m_previous(QDir::currentPath()) {
        QDir(m_root.path()).mkpath(QStringLiteral("Exec"));
        QDir(m_root.path()).mkpath(QStringLiteral("Data"));
        QDir::setCurrent(m_root.filePath(QStringLiteral("Exec")));
        qunsetenv("QelDataPath");
        qunsetenv("QelExecPath");
    }
    ~InstrumentFolders() { QDir::setCurrent(m_previous); }
    InstrumentFolders(const InstrumentFolders&) = delete;
    InstrumentFolders& operator=(const InstrumentFolders&) = delete;

    QString dataFile(const QString& name) const { return m_root.filePath(QStringLiteral("Data/") + name); }
    QString root() const { return m_root.path(); }
    bool writeDataFile(const QString& name, const QByteArray& content) const {
        QFile f(dataFile(name));
        return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
    }

private:
    QTemporaryDir m_root;
    QString m_previous;
};

} // namespace vantor::test
