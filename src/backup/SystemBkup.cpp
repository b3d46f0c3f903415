#include "SystemBkup.h"

#include "ftp/FtpClient.h"
#include "ftp/ReplacingFile.h"
#include "support/Prompter.h"
#include "support/Wait.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace vantor {

namespace {

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

// A file the copy would put something in place of (a folder in the way is not replaced: the
// copy fails instead).
bool replacesLocal(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

} // namespace

const QString TSystemBkup::RestoreLogName = QStringLiteral("Restore.txt");
const QString TSystemBkup::AbortedRestoreLogName = QStringLiteral("Restore-aborted.txt");

// The engine's own look-ups on the controller (listings and downloads kept before an upload,
// the preview's connection) run with its FTP events kept out of the restore log.
auto TSystemBkup::quietFtp() {
    ++m_quiet;
    m_quietLines.clear();
    return qScopeGuard([this] { --m_quiet; });
}

TSystemBkup::TSystemBkup(QObject* owner)
    : QObject(owner), m_ftp(new TFtpClient(this)), m_scanner(new TDirScan(this)) {
    attachFtpEvents();
    m_scanner->OnFileFound = [this](QObject*, const QString& name, bool&) { FileList.append(name); };
}

TSystemBkup::~TSystemBkup() = default;

void TSystemBkup::attachFtpEvents() {
    const auto log = [this](const QString& line) {
        if (!m_quiet)
            Log.append(line);
    };
    m_ftp->OnError = [log](TAsyncSocket*, quint16, const QString& message) { log(message); };
    m_ftp->OnStatus = [log](TAsyncSocket*, const QString& status) { log(status); };
    m_ftp->OnSuccess = [log](TCmdType type) { log(successText(type)); };
    m_ftp->OnFailure = [log](bool&, TCmdType type) { log(failureText(type)); };
    m_ftp->OnConnectionFailed = [log](TAsyncSocket*) { log(QStringLiteral("Connection Failed")); };
    m_ftp->OnListItem = [this](const QString& line) { (m_quiet ? m_quietLines : FileList).append(line); };
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
    if (dir.isEmpty() || !info.isDir() || !QDir(dir).isReadable())
        return false;
#ifdef Q_OS_WIN
    return true;
#else
    return info.isExecutable(); // entering a folder takes its search permission
#endif
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
    m_listings.clear();
    const QString dir = backupDirOf(backupFolder);
    if (!backupFolderUsable(dir))
        return false;
    const QString logPath = withSeparator(dir) + RestoreLogName;
    QFile::remove(logPath);
    Log = m_logPreface;
    m_logPreface.clear();
    m_replaced = std::make_unique<TReplacedFiles>(LocalBase(), QDateTime::currentDateTime());

    const TRestorePlanner plan = planner(dir, mask);
    bool finished = runSection(plan.Preamble());
    for (int section = 0; finished && section < m_plan.SectionNames.size(); ++section)
        finished = runSection(plan.PlanSection(section));
    m_listings.clear();
    if (!finished) {
        // What an aborted run already replaced must stay known.
        try {
            SaveLines(withSeparator(dir) + AbortedRestoreLogName, Log);
        } catch (const Error&) {
            // An abort reports nothing; the log is still in Log.
        }
        return true;
    }
    SaveLines(logPath, Log);
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
            // Keep lines go before the step's own line, so its failure line still follows it.
            m_performed.last().replaces = keepLocal(step);
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
            if (!Abort)
                m_performed.last().replaces = keepRemote(step);
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

QString TSystemBkup::ReplacedFolder() const {
    return m_replaced && m_replaced->Created() ? m_replaced->Folder() : QString();
}

QString TSystemBkup::keptTarget(const TRestoreStep& step, const QString& what) {
    const bool first = !m_replaced->Created();
    QString error;
    const QString target = m_replaced->TargetFor(step.SubPath, step.Name, &error);
    if (target.isEmpty()) {
        Log.append(restorelog::KeepFail + what + QStringLiteral(": ") + error);
        return {};
    }
    if (first && m_replaced->Created())
        Log.append(restorelog::KeptIn + m_replaced->Folder());
    return target;
}

TRestoreStep::Replacement TSystemBkup::keepLocal(const TRestoreStep& step) {
    if (!replacesLocal(step.Target))
        return TRestoreStep::NoReplacement;
    const QString target = keptTarget(step, step.Target);
    // A file kept once in this run is the one as it was before the run.
    if (target.isEmpty() || QFileInfo::exists(target))
        return TRestoreStep::Replaces;
    if (copyFile(step.Target, target))
        Log.append(restorelog::Keep + step.Target + restorelog::To + target);
    else
        Log.append(restorelog::KeepFail + step.Target + QStringLiteral(": cannot copy it to ") + target);
    return TRestoreStep::Replaces;
}

TRestoreStep::Replacement TSystemBkup::keepRemote(const TRestoreStep& step) {
    const QString remoteFile = step.Target + u'/' + step.Name;
    const std::optional<QStringList> names = controllerNames(step.Target);
    if (!names) {
        Log.append(restorelog::KeepFail + remoteFile + QStringLiteral(": cannot list ") + step.Target);
        return TRestoreStep::ReplacementUnknown;
    }
    const std::optional<QString> listed =
        listedName(*names, QString::fromLatin1(QFile::encodeName(step.Name)));
    if (!listed)
        return TRestoreStep::NoReplacement;
    const QString target = keptTarget(step, remoteFile);
    if (target.isEmpty() || QFileInfo::exists(target))
        return TRestoreStep::Replaces;
    try {
        const auto quiet = quietFtp();
        m_ftp->ChangeDir(step.Target);
        m_ftp->Download(*listed, target);
        Log.append(restorelog::KeepController + remoteFile + restorelog::To + target);
    } catch (const std::exception& e) {
        Log.append(restorelog::KeepFail + remoteFile + QStringLiteral(": ") +
                   QString::fromUtf8(e.what()).trimmed());
    }
    return TRestoreStep::Replaces;
}

std::optional<QStringList> TSystemBkup::controllerNames(const QString& remoteDir) {
    if (const auto known = m_listings.constFind(remoteDir); known != m_listings.constEnd())
        return *known;
    std::optional<QStringList> names;
    try {
        const auto quiet = quietFtp();
        try {
            m_ftp->ChangeDir(remoteDir);
        } catch (const FTPException&) {
            names = QStringList(); // no such folder: nothing in it to replace
        }
        if (!names) {
            m_ftp->List();
            names = ControllerFileNames(m_quietLines);
        }
    } catch (const std::exception&) {
        names.reset();
    }
    m_listings.insert(remoteDir, names);
    return names;
}

std::optional<QString> TSystemBkup::listedName(const QStringList& names, const QString& wireName) {
    // The controller's file names ignore letter case; an exact spelling is preferred.
    if (names.contains(wireName))
        return wireName;
    for (const QString& name : names)
        if (name.compare(wireName, Qt::CaseInsensitive) == 0)
            return name;
    return std::nullopt;
}

bool TSystemBkup::Preview(const QString& backupFolder, quint32 mask, QList<TRestoreStep>& steps) {
    steps.clear();
    const QString dir = backupDirOf(backupFolder);
    if (!backupFolderUsable(dir))
        return false;
    const QStringList fileList = FileList;
    m_listings.clear();
    const TRestorePlanner plan = planner(dir, mask);
    steps = plan.Preamble();
    bool reachable = true; // one failed connection is enough to know
    for (int section = 0; section < m_plan.SectionNames.size(); ++section) {
        bool reached = true;
        QList<TRestoreStep> sectionSteps = plan.PlanSection(section);
        for (TRestoreStep& step : sectionSteps) {
            switch (step.kind) {
            case TRestoreStep::Copy:
                step.replaces =
                    replacesLocal(step.Target) ? TRestoreStep::Replaces : TRestoreStep::NoReplacement;
                break;
            case TRestoreStep::Connect:
                if (reached && reachable) {
                    const auto quiet = quietFtp();
                    reachable = ConnectController();
                }
                reached = reached && reachable;
                if (!reached)
                    step.replaces = TRestoreStep::ReplacementUnknown;
                break;
            case TRestoreStep::Upload: {
                const std::optional<QStringList> names =
                    reached ? controllerNames(step.Target) : std::optional<QStringList>();
                if (!names)
                    step.replaces = TRestoreStep::ReplacementUnknown;
                else if (listedName(*names, QString::fromLatin1(QFile::encodeName(step.Name))))
                    step.replaces = TRestoreStep::Replaces;
                break;
            }
            default:
                break;
            }
        }
        steps += sectionSteps;
    }
    m_listings.clear();
    FileList = fileList;
    return true;
}

QStringList TSystemBkup::PreviewLines(const QList<TRestoreStep>& steps) {
    QStringList lines;
    lines.reserve(steps.size());
    for (const TRestoreStep& step : steps) {
        const bool bookkeeping =
            (step.kind == TRestoreStep::Note && step.section >= 0) ||
            (step.kind == TRestoreStep::Connect && step.replaces == TRestoreStep::NoReplacement);
        if (!bookkeeping)
            lines.append(step.Describe());
    }
    return lines;
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

void TSystemBkup::SaveLines(const QString& path, const QStringList& lines) {
    QByteArray text;
    for (const QString& line : lines)
        text += line.toUtf8() + "\r\n";
    ReplacingFile file(path);
    if (!file.open() || file.device().write(text) != text.size() || !file.commit())
        throw FileError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file.errorString()));
}

} // namespace vantor
