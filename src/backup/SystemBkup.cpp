#include "SystemBkup.h"

#include "ftp/FtpClient.h"
#include "ftp/ReplacingFile.h"
#include "support/Prompter.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vantor {

namespace {

const QString kRestoreLog = QStringLiteral("Restore.txt");
constexpr int kFtpPort = 21;
constexpr int kFtpTimeOutMs = 5000;
constexpr qint64 kCopyBlock = 1 << 20;

QString withSeparator(const QString& path) {
    if (path.isEmpty() || path.back() == QDir::separator())
        return path;
    return path + QDir::separator();
}

QString withoutSeparator(QString path) {
    if (!path.isEmpty() && (path.back() == QDir::separator() || path.back() == u'/'))
        path.chop(1);
    return path;
}

QString successText(TCmdType type) {
    return type <= ctDoCommand ? CmdTypeName(type) + QStringLiteral(" success") : QString();
}

QString failureText(TCmdType type) {
    return QStringLiteral("------> ") +
           (type <= ctDoCommand ? CmdTypeName(type) + QStringLiteral(" failure") : QString());
}

} // namespace

TSystemBkup::TSystemBkup(QObject* owner)
    : QObject(owner), m_ftp(new TFtpClient(this)), m_scanner(new TDirScan(this)) {
    attachFtpEvents();
    m_scanner->OnFileFound = [this](QObject*, const QString& name, bool&) { FileList.append(name); };
}

TSystemBkup::~TSystemBkup() = default;

void TSystemBkup::attachFtpEvents() {
    m_ftp->OnError = [this](TAsyncSocket*, quint16, const QString& message) { Log.append(message); };
    m_ftp->OnStatus = [this](TAsyncSocket*, const QString& status) { Log.append(status); };
    m_ftp->OnSuccess = [this](TCmdType type) { Log.append(successText(type)); };
    m_ftp->OnFailure = [this](bool&, TCmdType type) { Log.append(failureText(type)); };
    m_ftp->OnConnectionFailed = [this](TAsyncSocket*) { Log.append(QStringLiteral("Connection Failed")); };
    m_ftp->OnListItem = [this](const QString& line) { FileList.append(line); };
}

void TSystemBkup::SetHost(const QString& host) {
    m_ftp->Host = host;
    m_ftp->Port = kFtpPort;
    m_ftp->TimeOut = kFtpTimeOutMs;
    m_ftp->UserID = QStringLiteral("super");
    m_ftp->Password = QStringLiteral("kolm");
}

bool TSystemBkup::ConnectController() {
    if (m_ftp->IsConnected())
        return true;
    try {
        m_ftp->Connect();
        // Every transfer of the restore is binary; the type goes with each new login.
        m_ftp->SetMode(tmImage);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSystemBkup::UploadFile(const QString& localFolder, const QString& remoteDir, const QString& fileName) {
    try {
        m_ftp->ChangeDir(remoteDir);
        // The remote name is the file name's bytes on this disk, as the controller will list it.
        m_ftp->Upload(localFolder + fileName, QString::fromLatin1(QFile::encodeName(fileName)));
        return true;
    } catch (const FTPException&) {
        return false; // its failure line is in the log already
    } catch (const std::exception& e) {
        // A lost connection or a refused name never reaches the failure event: say it here.
        Log.append(QStringLiteral("------> ") + QString::fromUtf8(e.what()).trimmed());
        return false;
    }
}

void TSystemBkup::ScanLocal(const QString& folder, const QString& pattern) {
    FileList.clear();
    m_scanner->SetAcceptedFiles({pattern});
    m_scanner->RecursiveScan = false;
    m_scanner->AbsolutePass = false;
    m_scanner->Execute(folder);
}

QString TSystemBkup::backupDirOf(const QString& backupFolder) const {
    return withoutSeparator(QDir::toNativeSeparators(backupFolder.trimmed()));
}

bool TSystemBkup::backupFolderUsable(const QString& dir) const {
    // The folder must be one the process could make current; the current folder itself is
    // left alone, since other parts of the program rely on it.
    const QFileInfo info(dir);
    return !dir.isEmpty() && info.isDir() && info.isExecutable() && QDir(dir).isReadable();
}

TRestorePlanner TSystemBkup::planner(const QString& dir, quint32 mask) {
    return TRestorePlanner(m_plan, dir, mask, [this](const QString& folder, const QString& pattern) {
        ScanLocal(folder, pattern);
        return FileList;
    });
}

bool TSystemBkup::Restore(const QString& backupFolder, quint32 mask) {
    Abort = false;
    m_performed.clear();
    const QString dir = backupDirOf(backupFolder);
    if (!backupFolderUsable(dir))
        return false;
    const QString logPath = withSeparator(dir) + kRestoreLog;
    QFile::remove(logPath);
    Log = m_logPreface;
    m_logPreface.clear();

    const TRestorePlanner plan = planner(dir, mask);
    if (!plan.PlansPcSide())
        Log.append(QStringLiteral("-----> No instrument data folder: PC files are not restored"));
    for (int section = 0; section < m_plan.SectionNames.size(); ++section) {
        if (!runSection(plan.PlanSection(section)))
            return true;
    }
    saveLog(logPath);
    return true;
}

bool TSystemBkup::runSection(const QList<TRestoreStep>& steps) {
    for (const TRestoreStep& step : steps) {
        m_performed.append(step);
        switch (step.kind) {
        case TRestoreStep::Note:
        case TRestoreStep::CopyIgnored:
        case TRestoreStep::UploadIgnored:
            Log.append(step.LogLine);
            break;
        case TRestoreStep::MakeFolder:
            QDir().mkpath(step.Target); // a failure shows as the copies' failures
            break;
        case TRestoreStep::Copy: {
            Log.append(step.LogLine);
            const bool copied = copyFile(step.Source, step.Target);
            if (Abort)
                return false;
            if (!copied)
                Log.append(restorelog::CopyFail);
            break;
        }
        case TRestoreStep::Connect:
            if (!ConnectController()) {
                Prompter::current().warning(restorelog::CannotConnect);
                Log.append(restorelog::ConnectFail);
                return true; // the rest of this section is skipped; later sections are tried
            }
            break;
        case TRestoreStep::Upload:
            Log.append(step.LogLine);
            if (Abort)
                return false;
            UploadFile(step.Source, step.Target, step.Name);
            pumpPending();
            break;
        }
    }
    return true;
}

bool TSystemBkup::copyFile(const QString& source, const QString& target) const {
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    ReplacingFile out(target);
    if (!out.open())
        return false;
    QByteArray block;
    while (!in.atEnd()) {
        block = in.read(kCopyBlock);
        if (block.isEmpty() && in.error() != QFileDevice::NoError)
            return false;
        if (out.device().write(block) != block.size())
            return false;
    }
    if (in.error() != QFileDevice::NoError)
        return false;
    // The copy keeps the backup's time of last change, as a copy on the instrument PC does.
    if (auto* file = qobject_cast<QFileDevice*>(&out.device()))
        file->setFileTime(QFileInfo(source).lastModified(), QFileDevice::FileModificationTime);
    return out.commit();
}

void TSystemBkup::saveLog(const QString& path) const {
    ReplacingFile file(path);
    QByteArray text;
    for (const QString& line : Log)
        text += line.toUtf8() + "\r\n";
    if (!file.open() || file.device().write(text) != text.size() || !file.commit())
        throw FileError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

} // namespace vantor
