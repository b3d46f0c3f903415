#pragma once

#include "ParadoxTable.h"

#include <QString>
#include <QVariant>

namespace vantor {

class DatabaseAliases;

// A table of the database engine as the program uses it: named by an alias and a table
// name, or by a full path as table name; opened and closed; with a current record that is
// sought by key, edited and posted. The aliases object is not owned and must outlive it.
//
// Every failure throws DatabaseError or ConversionError; after a failed open the table is
// closed, after a failed post the current record keeps its old values.
class TTable {
public:
    explicit TTable(const DatabaseAliases* aliases = nullptr);
    virtual ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    void setDatabaseName(const QString& alias) { m_databaseName = alias; }
    QString databaseName() const { return m_databaseName; }
    // A bare name is looked for in the alias's folder; a path with a folder is used as it is.
    void setTableName(const QString& name) { m_tableName = name; }
    QString tableName() const { return m_tableName; }
    void setExclusive(bool exclusive) { m_exclusive = exclusive; }
    bool exclusive() const { return m_exclusive; }
    // The engine's driver name for the table type.
    QString tableType() const { return QStringLiteral("PARADOX"); }

    // The table file the names lead to; empty while the alias is not defined.
    QString filePath() const;
    bool exists() const;

    void open();
    void close();
    bool active() const { return m_table.isOpen(); }
    // The open table itself, for a grid; valid while active.
    ParadoxTable& table() { return m_table; }
    const ParadoxTable& table() const { return m_table; }

    int recordCount() const;
    // Makes the record with this key current; false (and the current record unchanged)
    // when there is none.
    bool findKey(const QVariantList& key);
    int currentRow() const { return m_row; }

    QVariant fieldValue(const QString& field) const;
    void edit();
    void setFieldValue(const QString& field, const QVariant& value);
    void post();
    void cancel();
    // Adds a record from values in field order (text is converted to each field's type)
    // and posts it at once; the new record becomes current.
    void appendRecord(const QVariantList& values);

    // Creates the table from field definitions; the first `keyFields` fields form the
    // primary unique index.
    void createTable(const QList<paradox::FieldDef>& fields, int keyFields);

protected:
    QString unknownDatabase() const;
    bool aliasDefined(const QString& alias) const;
    int fieldOrThrow(const QString& field) const;

private:
    const DatabaseAliases* m_aliases;
    QString m_databaseName;
    QString m_tableName;
    bool m_exclusive = false;
    ParadoxTable m_table;
    int m_row = -1;
    QByteArray m_editBuffer; // empty unless a record is being edited
};

} // namespace vantor
