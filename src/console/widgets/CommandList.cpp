#include "CommandList.h"

#include "console/engine/ConsoleCommands.h"
#include "support/Guard.h"
#include "support/TQelGroupBox.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QVBoxLayout>

namespace vantor {

CommandGrid::CommandGrid(int rows, int columns, QWidget* parent) : QTableWidget(rows, columns, parent) {}

void CommandGrid::setCurrentCellQuietly(int row, int column) {
    selectionModel()->setCurrentIndex(model()->index(row, column), QItemSelectionModel::NoUpdate);
}

void CommandGrid::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        event->accept(); // only the left button chooses a command
        return;
    }
    QTableWidget::mousePressEvent(event);
    const QModelIndex index = indexAt(event->position().toPoint());
    if (index.isValid())
        Q_EMIT cellSelected(index.row(), index.column());
}

void CommandGrid::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        // A key held down sends its command once, not once per repeat.
        if (!event->isAutoRepeat() && currentIndex().isValid())
            Q_EMIT cellSelected(currentIndex().row(), currentIndex().column());
        event->accept();
        return;
    default:
        QTableWidget::keyPressEvent(event);
    }
}

void CommandGrid::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

CommandList::CommandList(Send send, QObject* parent) : QObject(parent), m_send(std::move(send)) {
    PnlBaseCmdList = new TQelGroupBox(QStringLiteral("Command List  "));
    PnlBaseCmdList->setObjectName(QStringLiteral("PnlBaseCmdList"));
    m_panel = PnlBaseCmdList;
    auto* layout = new QVBoxLayout(PnlBaseCmdList);

    GridCmdList = new CommandGrid(kRows, 2, PnlBaseCmdList);
    GridCmdList->setObjectName(QStringLiteral("GridCmdList"));
    GridCmdList->horizontalHeader()->hide();
    GridCmdList->verticalHeader()->hide();
    GridCmdList->verticalHeader()->setDefaultSectionSize(GridCmdList->fontMetrics().height() + 6);
    GridCmdList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridCmdList->setSelectionMode(QAbstractItemView::SingleSelection);
    GridCmdList->setSelectionBehavior(QAbstractItemView::SelectItems);
    GridCmdList->setTabKeyNavigation(false);
    GridCmdList->setWordWrap(false);
    GridCmdList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    GridCmdList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    GridCmdList->setFixedWidth(kNumberWidth + kCommandWidth +
                               GridCmdList->verticalScrollBar()->sizeHint().width() +
                               2 * GridCmdList->frameWidth());
    layout->addWidget(GridCmdList);

    connect(GridCmdList, &CommandGrid::cellSelected, this, [this](int row, int column) {
        guarded([this, row, column] { GridCmdListSelectCell(column, row); });
    });
}

CommandList::~CommandList() {
    if (m_panel && !m_panel->parent())
        delete m_panel.data(); // never placed on a sheet
}

void CommandList::fill() {
    GridCmdList->setColumnWidth(0, kNumberWidth);
    GridCmdList->setColumnWidth(1, kCommandWidth);
    const QStringList commands = commandListRows();
    for (int row = 0; row < kRows; ++row) {
        GridCmdList->setItem(row, 0, new QTableWidgetItem(QString::number(row + 1)));
        GridCmdList->setItem(row, 1, new QTableWidgetItem(commands.value(row)));
    }
    // The grid starts on its first cell, as chosen by nobody.
    GridCmdList->setCurrentCellQuietly(0, 0);
}

void CommandList::GridCmdListSelectCell(int column, int row) {
    const QTableWidgetItem* cell = GridCmdList->item(row, column);
    if (!cell || cell->text().isEmpty())
        return;
    m_send(commandLine(cell->text()));
}

} // namespace vantor
