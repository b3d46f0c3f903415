#include "BatchBoxes.h"

#include "console/engine/BatchStore.h"
#include "console/widgets/FormBatchTitle.h"
#include "support/Errors.h"
#include "support/Guard.h"
#include "support/Prompter.h"
#include "support/TQelGroupBox.h"

#include <QAbstractButton>
#include <QEvent>
#include <QLoggingCategory>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTabWidget>
#include <QVBoxLayout>

Q_LOGGING_CATEGORY(lcBatch, "vantor.console.batch", QtWarningMsg)

namespace vantor {

namespace {
constexpr int kSeriesTab = 3; // "- 4 -"
constexpr int kFirstUserTab = 4;
} // namespace

BatchBoxes::BatchBoxes(std::function<QString()> dataFolder, const QStringList& startupLines,
                       const QStringList& seriesLines, QObject* parent)
    : QObject(parent), m_dataFolder(std::move(dataFolder)) {
    PageBatch = new QTabWidget;
    PageBatch->setObjectName(QStringLiteral("PageBatch"));
    m_page = PageBatch;

    MemoStartup = addTab("MemoStartup", GrpStartup, "GrpStartup", QStringLiteral("Set QEL Startup "));
    MemoAttr = addTab("MemoAttr", GrpAttr, "GrpAttr", QStringLiteral("Change File Attribute "));
    MemoReset = addTab("MemoReset", GrpReset, "GrpReset", QStringLiteral("CPU Reset "));
    MemoQEL740 = addTab("MemoQEL740", GrpQEL740, "GrpQEL740", QStringLiteral("Set QEL740 Series "));
    MemoBatch5 = addTab("MemoBatch5", GrpBatch5, "GrpBatch5", QStringLiteral("Batch5 "));
    MemoBatch6 = addTab("MemoBatch6", GrpBatch6, "GrpBatch6", QStringLiteral("Batch6 "));
    MemoBatch7 = addTab("MemoBatch7", GrpBatch7, "GrpBatch7", QStringLiteral("Batch7 "));

    setBoxLines(MemoStartup, startupLines);
    setBoxLines(MemoAttr, {QStringLiteral("chd /h0/ISP/OBJS"), QStringLiteral("attr ch* -eperprwpw"),
                           QStringLiteral("dir ch* -e"), QStringLiteral("chd /h0/QEL_V4/CMDS"),
                           QStringLiteral("attr * -eperprwpw"), QStringLiteral("dir -e")});
    setBoxLines(MemoReset, {QStringLiteral("chx /h0/QEL_V4/CMDS"), QStringLiteral("cpureset")});
    setBoxLines(MemoQEL740, seriesLines);

    m_user[0] = {QStringLiteral("Batch5"),
                 QStringLiteral("Batch5 "),
                 QStringLiteral("Batch5"),
                 GrpBatch5,
                 MemoBatch5,
                 nullptr,
                 kFirstUserTab};
    m_user[1] = {QStringLiteral("Batch6"),
                 QStringLiteral("Batch6 "),
                 QStringLiteral("Batch6"),
                 GrpBatch6,
                 MemoBatch6,
                 nullptr,
                 kFirstUserTab + 1};
    m_user[2] = {QStringLiteral("Batch7"),
                 QStringLiteral("Batch7 "),
                 QStringLiteral("Batch7"),
                 GrpBatch7,
                 MemoBatch7,
                 nullptr,
                 kFirstUserTab + 2};

    PopupMenuBatch = new QMenu(PageBatch);
    PopupMenuBatch->setObjectName(QStringLiteral("PopupMenuBatch"));
    SaveBatchItem = PopupMenuBatch->addAction(QStringLiteral("Save Batch"));
    SaveBatchItem->setObjectName(QStringLiteral("SaveBatch"));
    DeleteBatchItem = PopupMenuBatch->addAction(QStringLiteral("Delete Batch"));
    DeleteBatchItem->setObjectName(QStringLiteral("DeleteBatch"));
    connect(SaveBatchItem, &QAction::triggered, this, [this] { guarded([this] { SaveBatch(); }); });
    connect(DeleteBatchItem, &QAction::triggered, this,
            [this] { guarded([this] { DeleteBatch(m_popupBatch); }); });

    for (UserBatch& batch : m_user) {
        QPlainTextEdit* box = batch.box;
        const int number = batch.tab + 1;
        box->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(box, &QWidget::customContextMenuRequested, this, [this, box, number](const QPoint& pos) {
            showPopup(number, box->viewport()->mapToGlobal(pos));
        });
    }

    connect(PageBatch, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tab == kSeriesTab)
            giveScrollBars(MemoQEL740);
    });
}

BatchBoxes::~BatchBoxes() {
    if (m_page && !m_page->parent())
        delete m_page.data(); // never placed on a sheet
}

QPlainTextEdit* BatchBoxes::addTab(const char* boxName, TQelGroupBox*& group, const char* groupName,
                                   const QString& caption) {
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(2, 2, 2, 2);
    group = new TQelGroupBox(caption, page);
    group->setObjectName(QLatin1String(groupName));
    auto* groupLayout = new QVBoxLayout(group);
    auto* box = new QPlainTextEdit(group);
    box->setObjectName(QLatin1String(boxName));
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    // The boxes start without scroll bars and get both once they are worked in.
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->installEventFilter(this);
    groupLayout->addWidget(box);
    pageLayout->addWidget(group);
    PageBatch->addTab(page, QStringLiteral("- %1 -").arg(PageBatch->count() + 1));
    return box;
}

bool BatchBoxes::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        if (auto* box = qobject_cast<QPlainTextEdit*>(watched))
            giveScrollBars(box);
    return QObject::eventFilter(watched, event);
}

void BatchBoxes::giveScrollBars(QPlainTextEdit* box) {
    if (box->verticalScrollBarPolicy() == Qt::ScrollBarAlwaysOff &&
        box->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff) {
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
}

void BatchBoxes::setUserBatchButtons(QAbstractButton* opt1, QAbstractButton* opt2, QAbstractButton* opt3) {
    m_user[0].button = opt1;
    m_user[1].button = opt2;
    m_user[2].button = opt3;
}

void BatchBoxes::setTitleDialog(TFormBatchTitle* dialog) {
    if (m_titleDialog)
        m_titleDialog->disconnect(this);
    m_titleDialog = dialog;
    if (dialog)
        connect(dialog, &TFormBatchTitle::titleConfirmed, this,
                [this](const QString& title) { guarded([this, &title] { SetBatchTitle(title); }); });
}

TFormBatchTitle* BatchBoxes::titleDialog() const {
    return m_titleDialog;
}

QStringList BatchBoxes::boxLines(const QPlainTextEdit* box) {
    const QString text = box->toPlainText();
    if (text.isEmpty())
        return {};
    QStringList lines = text.split(QLatin1Char('\n'));
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

void BatchBoxes::setBoxLines(QPlainTextEdit* box, const QStringList& lines) {
    box->setPlainText(lines.isEmpty() ? QString() : lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

QString BatchBoxes::batchFile() const {
    const QString folder = m_dataFolder ? m_dataFolder() : QString();
    if (folder.isEmpty())
        throw FileError(QStringLiteral("The instrument data folder is not known, so \"%1\" cannot be used.")
                            .arg(QLatin1String(kBatchFileName)));
    return batchFilePath(folder);
}

void BatchBoxes::loadUserBatches() {
    QString path;
    try {
        path = batchFile();
    } catch (const Error& e) {
        qCWarning(lcBatch) << e.message();
        return; // no data folder: the batches stay empty, as with a missing file
    }
    for (UserBatch& batch : m_user) {
        const StoredBatch stored = LoadBatchSection(path, batch.section);
        if (!stored.lines.isEmpty())
            setBoxLines(batch.box, boxLines(batch.box) + stored.lines);
        if (!stored.title.isEmpty())
            showTitle(batch, stored.title, stored.title);
    }
}

void BatchBoxes::showTitle(UserBatch& batch, const QString& groupTitle, const QString& buttonTitle) {
    batch.group->setTitle(groupTitle);
    if (batch.button)
        batch.button->setText(buttonTitle);
}

void BatchBoxes::showPopup(int batch, const QPoint& globalPos) {
    m_popupBatch = batch;
    PopupMenuBatch->popup(globalPos);
}

void BatchBoxes::SaveBatch() {
    if (!m_titleDialog) {
        qCWarning(lcBatch) << "no batch title dialog to ask for the title";
        return;
    }
    // Beside the batch tabs, but never off the screen they are on: on a narrow screen the
    // tabs' right edge can be at the screen's edge.
    m_titleDialog->show();
    const QPoint wanted = PageBatch->mapToGlobal(QPoint(PageBatch->width(), 0));
    const QRect area = PageBatch->screen()->availableGeometry();
    const QSize size = m_titleDialog->frameGeometry().size();
    const int x = std::max(area.left(), std::min(wanted.x(), area.right() + 1 - size.width()));
    const int y = std::max(area.top(), std::min(wanted.y(), area.bottom() + 1 - size.height()));
    m_titleDialog->move(x, y);
    m_titleDialog->raise();
    m_titleDialog->activateWindow();
}

void BatchBoxes::DeleteBatch(int number) {
    const int index = number - (kFirstUserTab + 1);
    if (index < 0 || index >= int(m_user.size()))
        return;
    UserBatch& batch = m_user[size_t(index)];
    // The box and the stored batch both go: a slip on the menu must not cost the batch.
    if (!Prompter::current().confirmYesNo(
            QStringLiteral("Delete the batch \"%1\" ?").arg(batch.group->title().trimmed())))
        return;
    DeleteBatchSection(batchFile(), batch.section);
    batch.box->clear();
    showTitle(batch, batch.designGroup, batch.designButton);
}

void BatchBoxes::SetBatchTitle(const QString& title) {
    const int index = PageBatch->currentIndex() - kFirstUserTab;
    if (index < 0 || index >= int(m_user.size()))
        return;
    UserBatch& batch = m_user[size_t(index)];
    const QStringList lines = boxLines(batch.box);
    if (lines.isEmpty())
        return;
    SaveBatchSection(batchFile(), batch.section, title, lines);
    showTitle(batch, title, title);
}

} // namespace vantor
