#include "FormRestore.h"

#include "backup/BrowseForFolder.h"
#include "backup/RestorePictures.h"
#include "backup/RestorePreview.h"
#include "backup/SystemBkup.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"
#include "support/TQelGroupBox.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>

Q_LOGGING_CATEGORY(lcRestoreDialog, "vantor.backup.dialog", QtWarningMsg)

namespace vantor {

namespace {

template <typename W> W* named(W* widget, const char* name, const QRect& geometry) {
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QCheckBox* dataType(QWidget* group, const char* name, const QString& caption, bool ticked, int x, int y) {
    auto* box = named(new QCheckBox(caption, group), name, QRect(x, y, 420 - x, 24));
    box->setChecked(ticked);
    return box;
}

QLabel* picture(QWidget* form, const char* name, const QRect& geometry, const QPixmap& pixmap) {
    auto* label = named(new QLabel(form), name, geometry);
    label->setPixmap(pixmap);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

TFormRestore::TFormRestore(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("FormRestore"));
    setWindowTitle(QStringLiteral("Restore"));
    setModal(false);
    setFixedSize(634, 390);
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSize(font().pointSize());
    setFont(arial);

    QelGBfrom =
        named(new TQelGroupBox(QStringLiteral("Source Directory"), this), "QelGBfrom", QRect(8, 6, 618, 66));
    EditSourceDir = named(new QLineEdit(QelGBfrom), "EditSourceDir", QRect(14, 28, 496, 26));
    BtnBrowse =
        named(new QPushButton(QStringLiteral("Select"), QelGBfrom), "BtnBrowse", QRect(520, 26, 84, 30));

    ImgDn = picture(this, "ImgDn", QRect(196, 76, 56, 40), restorepictures::downArrow(QSize(40, 38)));

    QelGBDataType =
        named(new TQelGroupBox(QStringLiteral("Data Type"), this), "QelGBDataType", QRect(8, 118, 440, 264));
    CBOption = dataType(QelGBDataType, "CBOption", QStringLiteral("Option"), true, 16, 26);
    CBColumn = dataType(QelGBDataType, "CBColumn", QStringLiteral("Column Data"), true, 16, 58);
    CBLens = dataType(QelGBDataType, "CBLens", QStringLiteral("Lens  Data"), true, 16, 90);
    CBStage =
        dataType(QelGBDataType, "CBStage",
                 QStringLiteral("Stage Data (Correction , Limit, Exchange Pos., R. Center)"), true, 16, 122);
    CBIon = dataType(QelGBDataType, "CBIon",
                     QStringLiteral("Ion Source (Exchange Info., Former Log, Parameter)"), true, 16, 154);
    CBcurrentIon =
        dataType(QelGBDataType, "CBcurrentIon", QStringLiteral("Current  ion  source  Log."), false, 44, 182);
    CBOther = dataType(QelGBDataType, "CBOther", QStringLiteral("Other Info."), true, 16, 222);

    Image2 = picture(this, "Image2", QRect(460, 80, 166, 96), restorepictures::instrument(QSize(150, 90)));

    QelBtnStartRestore = named(new TQelBtn(QStringLiteral("Start Restore"), this), "QelBtnStartRestore",
                               QRect(463, 190, 160, 40));
    QelBtnStartRestore->setButtonWidth(TQELButtonWidth::W160);
    QelBtnStartRestore->setGroupIndex(1);
    QelBtnStartRestore->setAllowAllUp(true);
    BtnPreview =
        named(new QPushButton(QStringLiteral("Preview"), this), "BtnPreview", QRect(463, 238, 160, 28));
    BtnAbort = named(new QPushButton(QStringLiteral("Abort"), this), "BtnAbort", QRect(463, 276, 160, 28));
    BtnAbort->setEnabled(false);
    QelBtnClose = named(new TQelBtn(QStringLiteral("Close"), this), "QelBtnClose", QRect(463, 334, 160, 40));
    QelBtnClose->setButtonWidth(TQELButtonWidth::W160);

    connect(BtnBrowse, &QPushButton::clicked, this, [this] { guarded([this] { BtnBrowseClick(); }); });
    connect(QelBtnStartRestore, &QAbstractButton::clicked, this,
            [this] { guarded([this] { QelBtnStartRestoreClick(); }); });
    connect(BtnPreview, &QPushButton::clicked, this, [this] { guarded([this] { BtnPreviewClick(); }); });
    connect(BtnAbort, &QPushButton::clicked, this, [this] { guarded([this] { BtnAbortClick(); }); });
    connect(QelBtnClose, &QAbstractButton::clicked, this,
            [this] { guarded([this] { QelBtnCloseClick(); }); });

    FormCreate();
}

TFormRestore::~TFormRestore() {
    // A run still on the stack (the program ending inside it) must find nothing to do.
    m_bkup->Abort = true;
}

void TFormRestore::FormCreate() {
    m_bkup = new TSystemBkup(this);
}

quint32 TFormRestore::RestoreMask() const {
    quint32 mask = planbits::AlwaysSet;
    const std::pair<const QCheckBox*, quint32> boxes[] = {
        {CBOption, planbits::Option}, {CBColumn, planbits::Column}, {CBLens, planbits::Lens},
        {CBStage, planbits::Stage},   {CBIon, planbits::Ion},       {CBcurrentIon, planbits::CurrentIon},
        {CBOther, planbits::Other},
    };
    for (const auto& [box, bit] : boxes)
        if (box->isChecked())
            mask |= bit;
    return mask;
}

void TFormRestore::BtnBrowseClick() {
    if (!m_folderPicker)
        m_folderPicker = new TBrowseForFolder(this);
    if (m_folderPicker->Execute())
        EditSourceDir->setText(m_folderPicker->FolderName());
}

void TFormRestore::QelBtnStartRestoreClick() {
    raise(OnBeforeRestore, QelBtnStartRestore);
    const quint32 mask = RestoreMask();

    QelBtnStartRestore->setChecked(true);
    QelBtnStartRestore->startFlash();
    setFormControlsEnabled(false);
    BtnAbort->setEnabled(true);
    m_running = true;
    const bool done = runRestore(mask);
    m_running = false;
    if (!done) {
        Prompter::current().warning(directoryMessage());
        QelBtnStartRestore->stopFlashAndRepaint();
        QelBtnStartRestore->setChecked(false);
    }
    setFormControlsEnabled(true);
    BtnAbort->setEnabled(false);
    QelBtnStartRestore->stopFlashAndRepaint();
    QelBtnStartRestore->setChecked(false);
}

bool TFormRestore::runRestore(quint32 mask) {
    // Whatever goes wrong in the run, the engineer gets the one message and the dialog comes
    // back to idle; the reason is in the restore log where the engine could write it.
    try {
        return m_bkup->Restore(EditSourceDir->text(), mask);
    } catch (const Error& e) {
        qCWarning(lcRestoreDialog) << "restore failed:" << e.message();
    } catch (const std::exception& e) {
        qCWarning(lcRestoreDialog) << "restore failed:" << e.what();
    }
    return false;
}

void TFormRestore::BtnPreviewClick() {
    const quint32 mask = RestoreMask();
    const QString folder = EditSourceDir->text();
    // The preview may ask the controller for its listings, which lets events through: the
    // dialog must not start a restore meanwhile.
    setFormControlsEnabled(false);
    QList<TRestoreStep> steps;
    bool listed = false;
    try {
        listed = m_bkup->Preview(folder, mask, steps);
    } catch (const Error& e) {
        qCWarning(lcRestoreDialog) << "preview failed:" << e.message();
    }
    setFormControlsEnabled(true);
    BtnAbort->setEnabled(false);
    if (!listed) {
        Prompter::current().warning(directoryMessage());
        return;
    }
    if (!m_preview)
        m_preview = new TRestorePreview(this);
    m_preview->showSteps(TSystemBkup::PreviewLines(steps), folder);
}

void TFormRestore::setFormControlsEnabled(bool enabled) {
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        control->setEnabled(enabled);
}

void TFormRestore::BtnAbortClick() {
    if (!Prompter::current().confirmOkCancel(abortQuestion()))
        return;
    m_bkup->Abort = true;
    raise(OnCloseRequest, BtnAbort);
}

void TFormRestore::QelBtnCloseClick() {
    raise(OnCloseRequest, QelBtnClose);
}

void TFormRestore::raise(const TNotifyEvent& event, QObject* sender) {
    if (event)
        event(sender);
}

void TFormRestore::closeEvent(QCloseEvent* event) {
    if (!QelBtnClose->isEnabled()) {
        event->ignore(); // a restore is running
        return;
    }
    guarded([this] { raise(OnCloseRequest, this); });
    event->accept();
}

void TFormRestore::reject() {
    close();
}

} // namespace vantor
