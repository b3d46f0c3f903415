#include "TableGridModel.h"

#include "ParadoxTable.h"
#include "support/Guard.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcGrid, "vantor.dbmaint.grid", QtWarningMsg)

namespace vantor {

TableGridModel::TableGridModel(QObject* parent) : QAbstractTableModel(parent) {}

void TableGridModel::setTable(ParadoxTable* table) {
    m_table = table;
    refresh();
}

bool TableGridModel::usable() const {
    return m_table && m_table->isOpen();
}

void TableGridModel::refresh() {
    beginResetModel();
    m_rows = usable() ? m_table->recordCount() : 0;
    m_columns = usable() ? int(m_table->fields().size()) : 0;
    endResetModel();
}

int TableGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int TableGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant TableGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !usable() || index.row() >= m_rows || index.column() >= m_columns)
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)
        return {};
    const paradox::FieldDef& field = m_table->fields()[index.column()];
    if (role == Qt::ToolTipRole)
        return paradox::isBlobType(field.type) ? QStringLiteral("Kept in the .MB file; not loaded")
                                               : QVariant();
    try {
        return m_table->displayText(m_table->record(index.row()), index.column());
    } catch (const std::exception& e) {
        // A view paints outside any user action: the failure is logged, the cell left empty.
        qCWarning(lcGrid) << "cannot read record" << index.row() << e.what();
        return {};
    }
}

QVariant TableGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || !usable())
        return {};
    if (orientation == Qt::Horizontal)
        return section < m_columns ? QVariant(m_table->fields()[section].name) : QVariant();
    return section + 1;
}

Qt::ItemFlags TableGridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid() || !usable() || m_table->isReadOnly())
        return f;
    const paradox::FieldType type = m_table->fields()[index.column()].type;
    if (!paradox::isBlobType(type) && type != paradox::FieldType::AutoInc)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TableGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !usable())
        return false;
    int row = index.row();
    const bool ok = guarded([&] {
        QByteArray record = m_table->record(row);
        m_table->encode(record, index.column(), value);
        row = m_table->post(row, record);
    });
    if (!ok)
        return false;
    if (row == index.row() && m_table->recordCount() == m_rows)
        Q_EMIT dataChanged(this->index(row, 0), this->index(row, m_columns - 1));
    else // a key edit moved the record; reset once the view has finished committing
        QMetaObject::invokeMethod(this, &TableGridModel::refresh, Qt::QueuedConnection);
    return true;
}

} // namespace vantor
