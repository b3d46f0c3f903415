#include "BatchPanel.h"

#include "console/engine/ConsoleCommands.h"
#include "console/widgets/BatchBoxes.h"
#include "support/Guard.h"
#include "support/TQELSpeedButton.h"
#include "support/TQelGroupBox.h"

#include <QGridLayout>
#include <QPlainTextEdit>

namespace vantor {

BatchPanel::BatchPanel(BatchBoxes& boxes, Send send, QObject* parent)
    : QObject(parent), m_boxes(boxes), m_send(std::move(send)),
      m_clock([] { return QDateTime::currentDateTime(); }) {
    PnlBaseBatch = new TQelGroupBox(QStringLiteral("Batch  File  "));
    PnlBaseBatch->setObjectName(QStringLiteral("PnlBaseBatch"));
    m_panel = PnlBaseBatch;
    auto* grid = new QGridLayout(PnlBaseBatch);
    grid->setSpacing(2);

    BtnStartup = addButton("BtnStartup", QStringLiteral("Set QEL Startup"), 0, 0);
    BtnAttr = addButton("BtnAttr", QStringLiteral("Change Attr"), 1, 0);
    BtnReset = addButton("BtnReset", QStringLiteral("CPU Reset"), 2, 0);
    BtnQEL740 = addButton("BtnQEL740", QStringLiteral("Set QEL740"), 3, 0);
    BtnAbort = addButton("BtnAbort", QStringLiteral("Abort QEL"), 4, 0);
    BtnOpt1 = addButton("BtnOpt1", QStringLiteral("Batch5"), 0, 1);
    BtnOpt2 = addButton("BtnOpt2", QStringLiteral("Batch6"), 1, 1);
    BtnOpt3 = addButton("BtnOpt3", QStringLiteral("Batch7"), 2, 1);
    BtnStartQel2 = addButton("BtnStartQel2", QStringLiteral("StartQEL2"), 3, 1);
    BtnAdjTime = addButton("BtnAdjTime", QStringLiteral("Ajdust Time"), 4, 1);
    grid->setRowStretch(5, 1);

    m_boxes.setUserBatchButtons(BtnOpt1, BtnOpt2, BtnOpt3);
}

BatchPanel::~BatchPanel() {
    if (m_panel && !m_panel->parent())
        delete m_panel.data(); // never placed on a sheet
}

TQELSpeedButton* BatchPanel::addButton(const char* name, const QString& caption, int row, int column) {
    auto* button = new TQELSpeedButton(caption, PnlBaseBatch);
    button->setObjectName(QLatin1String(name));
    button->setButtonWidth(TQELButtonWidth::W120);
    static_cast<QGridLayout*>(PnlBaseBatch->layout())->addWidget(button, row, column);
    connect(button, &QAbstractButton::clicked, this,
            [this, button] { guarded([this, button] { BatchButtonClick(button); }); });
    return button;
}

void BatchPanel::BatchButtonClick(QAbstractButton* button) {
    if (button == BtnStartup)
        SendBatch(m_boxes.MemoStartup);
    else if (button == BtnAttr)
        SendBatch(m_boxes.MemoAttr);
    else if (button == BtnReset)
        SendBatch(m_boxes.MemoReset);
    else if (button == BtnQEL740)
        SendBatch(m_boxes.MemoQEL740);
    else if (button == BtnOpt1)
        SendBatch(m_boxes.MemoBatch5);
    else if (button == BtnOpt2)
        SendBatch(m_boxes.MemoBatch6);
    else if (button == BtnOpt3)
        SendBatch(m_boxes.MemoBatch7);
    else if (button == BtnAbort)
        m_send(abortCommand());
    else if (button == BtnStartQel2)
        m_send(startQelCommand());
    else if (button == BtnAdjTime)
        m_send(adjustTimeCommand(m_clock()));
}

void BatchPanel::SendBatch(const QPlainTextEdit* box) {
    for (const QByteArray& line : batchCommands(BatchBoxes::boxLines(box)))
        m_send(line);
}

} // namespace vantor
