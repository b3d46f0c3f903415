#pragma once

#include "RemoteListing.h"

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

namespace vantor {

class FtpSession;
class LocalFolderPanel;
class RepaintThrottle;
class TransferPanels;

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
