#pragma once

#include <QObject>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QRadioButton;
class QTreeWidget;
class QWidget;

namespace vantor {

class TQelBtn;

// The three panels that the transfer sheets (Install, Version Up, Backup, File Transfer)
// share: the FTP bar, the local panel and the remote panel. They exist once and move onto
// whichever of those sheets is showing. This class only builds and places them; the FTP
// session, browsing and transfers drive them.
class TransferPanels final : public QObject {
    Q_OBJECT
public:
    explicit TransferPanels(QWidget* initialSheet);

    enum class Sheet { Install, VersionUp, Backup, FileTransfer };
    struct Folders {
        QString installSystem, installApplication, versionUpApplication, backupApplication;
    };
    // Shows the panels on `sheet` and sets the folder labels and button captions of its
    // kind of transfer.
    void setUpFor(QWidget* sheet, Sheet kind, const Folders& folders);

    // Moves the three panels onto `sheet` (no-op when they are there already).
    void moveOnto(QWidget* sheet);
    QWidget* currentSheet() const { return m_sheet; }
    // The kind of the sheet the panels were last set up for.
    Sheet currentKind() const { return m_kind; }

    // FTP bar
    QWidget* PnlBaseFTP;
    TQelBtn* BtnFTPOpen;
    TQelBtn* BtnFTPClose;
    QLabel* LblSts2;
    QRadioButton* RdoAscii;
    QRadioButton* RdoBinary;
    QLabel* LblIPAdrs2;

    // Local panel
    QWidget* PnlSrcBase;
    TQelBtn* BtnInstallSys;
    TQelBtn* BtnInstallAppli;
    QLabel* LblInstDir;
    QLabel* LblInstDir2;
    QComboBox* DrvInstall;
    QTreeWidget* DirecInstall; // the folder's path down from its root, then its sub-folders
    QListWidget* FileInstall;
    QMenu* PopupMenuCom;

    // Remote panel
    QWidget* PnlDstBase;
    QLabel* LblDstDir3;
    QLineEdit* EdtDstDrv;
    QLineEdit* EdtDstPath;
    QListWidget* ListDstDir;
    QListWidget* ListDst;

private:
    void buildFtpBar();
    void buildLocalPanel();
    void buildRemotePanel();

    QWidget* m_sheet = nullptr;
    Sheet m_kind = Sheet::Install;
};

} // namespace vantor
