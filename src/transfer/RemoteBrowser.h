#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace vantor {

class FtpSession;
class LocalFolderPanel;
class RepaintThrottle;
class TransferPanels;

// One line of the controller's directory listing as the remote panel sees it.
struct ListingEntry {
    enum class Kind { Skipped, File, Folder };
    Kind kind = Kind::Skipped;
    QString name;
    friend bool operator==(const ListingEntry&, const ListingEntry&) = default;
};

// Classifies a line of the OS-9 extended directory listing. Title, header and ruler lines
// and lines that do not begin with a numeric owner are skipped; an entry is a file when
// " -" occurs in it, else a folder when " d" does, and its name is the last word. A line
// with an owner but neither mark is a file named by the whole line.
ListingEntry classifyListingLine(const QString& line);

// The remote panel: the controller's current directory with its sub-folders and files,
// walking the remote tree, changing the device; and the local panel's folder change as it
// concerns the install buttons.
class RemoteBrowser final : public QObject {
    Q_OBJECT
public:
    RemoteBrowser(FtpSession& session, TransferPanels& panels, LocalFolderPanel& local,
                  QObject* parent = nullptr);

    // Re-reads the remote current directory into LblDstDir3, ListDstDir and ListDst.
    void RefreshRemoteListing();
    // The part of the remote current directory after its last "/".
    QString RemoteLeafName() const;
    // One listing line: logged, then added to the folders or the files.
    void FtpOS9ListItem(const QString& line);
    // Whether ListDstDir begins with the ".." this panel adds below the device root.
    bool hasParentEntry() const { return m_parentEntry; }

    void ListDstDirDblClick();
    void EdtDstDrvChange(const QString& text);
    static bool IsKnownDrive(const QString& text);
    void DirecInstallChange();

    // Filled by the owner.
    std::function<bool()> FileTransferSheetShowing;
    // While it returns true the local folder changes are the run's own, not the engineer's.
    std::function<bool()> RunUnderWay;

private:
    FtpSession& m_session;
    TransferPanels& m_panels;
    LocalFolderPanel& m_local;
    bool m_parentEntry = false;
    QList<RepaintThrottle*> m_paint; // the remote panel's widgets, refilled at every folder of a walk
};

} // namespace vantor
