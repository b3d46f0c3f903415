#pragma once

#include "TTable.h"

#include <QStringList>
#include <QtGlobal>

namespace vantor {

// A field as the engine's restructure takes it: the logical field type and subtype of
// the database engine (7 is a float, 6 a 32-bit integer, 1 a string ...), length and
// precision only where they matter.
struct FieldDescription {
    QString name;
    int logicalType = 7;
    int subType = 0;
    int length = 0;
    int precision = 0;
};

// The aperture tables: one Paradox table per acceleration voltage, on the "QelDataBase"
// (family 1) or "DaxDataBase" (family 2) alias. Created once at start-up; its creation
// makes sure every table exists with the current fields and the standard records.
//
// A table that exists but cannot be opened is reported and left as it is: it is never
// replaced by a new, empty one. A write to an aperture number the table does not hold
// fails instead of changing another record.
class TApDataBase final : public TTable {
public:
    static const QStringList& tableNames();
    // Fields 0 to 28 of a QEL table; a DAX table has fields 0 to 20.
    static const QStringList& fieldNames();
    static constexpr int kQelFields = 29;
    static constexpr int kDaxFields = 21;
    static constexpr int kQelRecords = 20;
    static constexpr int kDaxRecords = 15;

    // Runs PrepareApTables. Failures do not escape: each is kept in preparationErrors()
    // and the other tables are still prepared.
    explicit TApDataBase(const DatabaseAliases* aliases);

    // Index 0 to 5 sets the table name; other indexes change nothing.
    void SelectApTable(int index);
    // The field of aperture `apNo` as a number; NaN when the table holds no such aperture
    // (a blank field reads 0). Opens the table if needed and leaves it as it was.
    double ReadApValue(const QString& field, int apNo);
    // Stores the value in aperture `apNo` and closes the table. Throws DatabaseError when
    // the table has no such aperture.
    void WriteApValue(const QString& field, int apNo, double value);
    void PrepareApTables();
    // Adds one field to the table, keeping its data; the table is reopened as it was.
    void AddTableField(const FieldDescription& field);

    quint8 family() const { return m_family; }
    const QStringList& preparationErrors() const { return m_errors; }

private:
    void PrepareQelApTable(const QString& tableName);
    void PrepareDaxApTable(const QString& tableName);
    QList<paradox::FieldDef> fieldDefs(int count) const;
    static double accelerationVoltage(const QString& tableName);

    quint8 m_family = 1;
    bool m_prepareOnce = true;
    QStringList m_errors;
};

} // namespace vantor
