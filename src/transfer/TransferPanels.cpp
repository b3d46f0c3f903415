#include "TransferPanels.h"

#include "support/TQelBtn.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace vantor {

namespace {
template <class W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}
} // namespace

TransferPanels::TransferPanels(QWidget* initialSheet) : QObject(initialSheet) {
    buildFtpBar();
    buildLocalPanel();
    buildRemotePanel();
    moveOnto(initialSheet);
}

void TransferPanels::buildFtpBar() {
    PnlBaseFTP = named(new QWidget, "PnlBaseFTP");
    auto* row = new QHBoxLayout(PnlBaseFTP);
    BtnFTPOpen = named(new TQelBtn(PnlBaseFTP), "BtnFTPOpen");
    BtnFTPOpen->setText(QStringLiteral("OPEN"));
    BtnFTPOpen->setButtonWidth(TQELButtonWidth::W80);
    BtnFTPOpen->setGroupIndex(1);
    BtnFTPOpen->setAllowAllUp(true);
    BtnFTPClose = named(new TQelBtn(PnlBaseFTP), "BtnFTPClose");
    BtnFTPClose->setText(QStringLiteral("CLOSE"));
    BtnFTPClose->setButtonWidth(TQELButtonWidth::W80);
    BtnFTPClose->setGroupIndex(1);
    BtnFTPClose->setAllowAllUp(true);
    BtnFTPClose->setEnabled(false);
    LblSts2 = named(new QLabel(QStringLiteral("XXXXXXX"), PnlBaseFTP), "LblSts2");
    LblSts2->setMinimumWidth(110);
    RdoAscii = named(new QRadioButton(QStringLiteral("ASCII"), PnlBaseFTP), "RdoAscii");
    RdoBinary = named(new QRadioButton(QStringLiteral("BINARY"), PnlBaseFTP), "RdoBinary");
    RdoAscii->setEnabled(false);
    RdoBinary->setEnabled(false);
    LblIPAdrs2 = named(new QLabel(QStringLiteral("128.0.1.1"), PnlBaseFTP), "LblIPAdrs2");
    LblIPAdrs2->setCursor(Qt::PointingHandCursor);
    LblIPAdrs2->setToolTip(QStringLiteral("Controller address (click to edit)"));
    row->addWidget(BtnFTPOpen);
    row->addWidget(BtnFTPClose);
    row->addWidget(LblSts2);
    row->addSpacing(12);
    row->addWidget(RdoAscii);
    row->addWidget(RdoBinary);
    row->addStretch();
    row->addWidget(new QLabel(QStringLiteral("IP "), PnlBaseFTP));
    row->addWidget(LblIPAdrs2);
}

void TransferPanels::buildLocalPanel() {
    PnlSrcBase = named(new QWidget, "PnlSrcBase");
    auto* grid = new QGridLayout(PnlSrcBase);
    BtnInstallSys = named(new TQelBtn(PnlSrcBase), "BtnInstallSys");
    BtnInstallSys->setText(QStringLiteral("Install System"));
    BtnInstallSys->setButtonWidth(TQELButtonWidth::W160);
    BtnInstallSys->setGroupIndex(2);
    BtnInstallSys->setAllowAllUp(true);
    BtnInstallSys->setEnabled(false);
    BtnInstallAppli = named(new TQelBtn(PnlSrcBase), "BtnInstallAppli");
    BtnInstallAppli->setText(QStringLiteral("Install Appli."));
    BtnInstallAppli->setButtonWidth(TQELButtonWidth::W160);
    BtnInstallAppli->setGroupIndex(3);
    BtnInstallAppli->setAllowAllUp(true);
    BtnInstallAppli->setEnabled(false);
    LblInstDir = named(new QLabel(PnlSrcBase), "LblInstDir");
    LblInstDir2 = named(new QLabel(PnlSrcBase), "LblInstDir2");
    DrvInstall = named(new QComboBox(PnlSrcBase), "DrvInstall");
    DirecInstall = named(new QTreeWidget(PnlSrcBase), "DirecInstall");
    DirecInstall->setHeaderHidden(true);
    DirecInstall->setRootIsDecorated(false);
    DirecInstall->setSelectionMode(QAbstractItemView::SingleSelection);
    DirecInstall->setExpandsOnDoubleClick(false);
    FileInstall = named(new QListWidget(PnlSrcBase), "FileInstall");
    FileInstall->setSelectionMode(QAbstractItemView::ExtendedSelection);
    FileInstall->setContextMenuPolicy(Qt::CustomContextMenu);
    PopupMenuCom = named(new QMenu(FileInstall), "PopupMenuCom");
    // Folder paths can be long: they show what fits rather than widen the sheet and move
    // every panel at each change of folder.
    for (QLabel* label : {LblInstDir, LblInstDir2}) {
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        label->setMinimumWidth(80);
    }
    grid->addWidget(BtnInstallSys, 0, 0);
    grid->addWidget(LblInstDir, 0, 1);
    grid->addWidget(BtnInstallAppli, 1, 0);
    grid->addWidget(LblInstDir2, 1, 1);
    grid->addWidget(DrvInstall, 2, 0, 1, 2);
    grid->addWidget(DirecInstall, 3, 0, 1, 2);
    grid->addWidget(FileInstall, 4, 0, 1, 2);
    grid->setColumnStretch(1, 1);
}

void TransferPanels::buildRemotePanel() {
    PnlDstBase = named(new QWidget, "PnlDstBase");
    auto* grid = new QGridLayout(PnlDstBase);
    LblDstDir3 = named(new QLabel(PnlDstBase), "LblDstDir3");
    LblDstDir3->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    LblDstDir3->setMinimumWidth(80);
    EdtDstDrv = named(new QLineEdit(QStringLiteral("/h0"), PnlDstBase), "EdtDstDrv");
    EdtDstPath = named(new QLineEdit(QStringLiteral("QEL_V4"), PnlDstBase), "EdtDstPath");
    ListDstDir = named(new QListWidget(PnlDstBase), "ListDstDir");
    ListDstDir->setSelectionMode(QAbstractItemView::SingleSelection);
    ListDst = named(new QListWidget(PnlDstBase), "ListDst");
    ListDst->setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* header = new QHBoxLayout;
    header->addWidget(new QLabel(QStringLiteral("Remote(OS-9) "), PnlDstBase));
    header->addWidget(new QLabel(QStringLiteral(" :  "), PnlDstBase));
    header->addWidget(LblDstDir3, 1);
    auto* device = new QHBoxLayout;
    device->addWidget(new QLabel(QStringLiteral("Drive "), PnlDstBase));
    device->addWidget(EdtDstDrv);
    device->addWidget(new QLabel(QStringLiteral("QEL-Path "), PnlDstBase));
    device->addWidget(EdtDstPath);
    grid->addLayout(header, 0, 0, 1, 2);
    grid->addLayout(device, 1, 0, 1, 2);
    grid->addWidget(ListDstDir, 2, 0);
    grid->addWidget(ListDst, 2, 1);
}

void TransferPanels::setUpFor(QWidget* sheet, Sheet kind, const Folders& folders) {
    moveOnto(sheet);
    m_kind = kind;
    switch (kind) {
    case Sheet::Install:
        LblInstDir->setText(folders.installSystem);
        LblInstDir2->setText(folders.installApplication);
        break;
    case Sheet::VersionUp:
        LblInstDir->clear();
        LblInstDir2->setText(folders.versionUpApplication);
        break;
    case Sheet::Backup:
        LblInstDir->clear();
        LblInstDir2->setText(folders.backupApplication);
        break;
    case Sheet::FileTransfer:
        LblInstDir->setText(folders.backupApplication);
        LblInstDir2->setText(folders.backupApplication);
        break;
    }
    const bool copySheet = kind == Sheet::FileTransfer;
    BtnInstallSys->setText(copySheet ? QStringLiteral("Copy To   OS9") : QStringLiteral("Install System"));
    BtnInstallAppli->setText(copySheet                 ? QStringLiteral("Copy From OS9")
                             : kind == Sheet::Backup ? QStringLiteral("BackUp Appli.")
                                                     : QStringLiteral("Install Appli."));
}

void TransferPanels::moveOnto(QWidget* sheet) {
    if (!sheet || sheet == m_sheet)
        return;
    m_sheet = sheet;
    QLayout* layout = sheet->layout();
    if (!layout) {
        auto* grid = new QGridLayout(sheet);
        grid->setColumnStretch(0, 1);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(1, 1);
        layout = grid;
    }
    auto* grid = static_cast<QGridLayout*>(layout);
    grid->addWidget(PnlBaseFTP, 0, 0, 1, 2);
    grid->addWidget(PnlSrcBase, 1, 0);
    grid->addWidget(PnlDstBase, 1, 1);
}

} // namespace vantor
