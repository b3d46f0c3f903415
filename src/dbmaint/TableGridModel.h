#pragma once

#include <QAbstractTableModel>

namespace vantor {

class ParadoxTable;

// The data-aware grid's model over one open table: a row per record, a column per field,
// the field names as headers. Nothing is copied: a record is read and decoded when the
// view asks for one of its cells (the table reads a block at a time), so a table of any
// size opens at once. Edited cells are posted to the file at once; a change that does not
// fit its field is shown in the error box and the cell keeps its value.
//
// The table is not owned. Call refresh() whenever it is opened, closed or changed by
// other means; while it is closed (or none is set) the model is empty.
class TableGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TableGridModel(QObject* parent = nullptr);

    void setTable(ParadoxTable* table);

    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    bool usable() const;

    ParadoxTable* m_table = nullptr;
    int m_rows = 0;
    int m_columns = 0;
};

} // namespace vantor
