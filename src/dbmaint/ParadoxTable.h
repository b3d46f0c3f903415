#pragma once

#include "ParadoxFormat.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

#include <memory>

class QIODevice;
class QTextCodec;

namespace vantor {

// One Paradox table (.DB with its .PX primary index when keyed), read through pxlib. The
// table owns every pxlib handle it makes; none is handed out.
//
// Reading: records are found through the block chain, read one block at a time and
// decoded on demand, so opening a large table costs a walk over the block headers and
// nothing more. Memo, blob and graphic fields are never loaded (the .MB file is not
// attached at all): they are shown by kind only.
//
// Writing keeps the file what the Borland engine expects: records of a keyed table in
// ascending, unique key order, a .PX that matches the blocks, packed blocks. A change that
// leaves every record in place (an edit outside the key) is written into the record's
// slot; every other change (an append, a key edit, a restructure) writes complete new
// files beside the old ones and puts them in place only when both are whole, so a failure
// at any point leaves the old table as it was.
//
// Every failure throws DatabaseError (file and engine conditions) or ConversionError (a
// value that does not fit its field) with the text the engineer sees.
class ParadoxTable final {
public:
    enum class Access { ReadOnly, Shared, Exclusive };

    ParadoxTable();
    ~ParadoxTable();
    ParadoxTable(const ParadoxTable&) = delete;
    ParadoxTable& operator=(const ParadoxTable&) = delete;

    // Opens the table file at `path` (the .DB). Shared and Exclusive allow writes; a file
    // that cannot be written opens read-only when shared and fails when exclusive.
    void open(const QString& path, Access access = Access::Shared);
    // Opens a table held in memory, read-only: for checking bytes that are not a file.
    void openBytes(const QByteArray& bytes);
    void close();
    bool isOpen() const;
    bool isExclusive() const;
    bool isReadOnly() const { return m_access == Access::ReadOnly; }
    QString path() const { return m_path; }

    const paradox::TableHeader& header() const { return m_header; }
    const QList<paradox::FieldDef>& fields() const { return m_header.fields; }
    // Case-insensitive, as the engine matches field names; -1 when there is none.
    int fieldIndex(const QString& name) const;
    int keyFieldCount() const { return m_header.keyed() ? m_header.keyFields : 0; }
    int recordCount() const { return m_count; }

    // The record's bytes as stored. `row` counts from 0 in key (file) order.
    QByteArray record(int row) const;
    QVariant value(int row, int field) const { return decode(record(row), field); }

    // A field of a record: a null QVariant for a blank field; QString for alpha and BCD,
    // int for short, long and autoincrement, double for number and currency, bool, QDate,
    // QTime, QDateTime, QByteArray for bytes; for memo, blob and graphic fields a null
    // QVariant (they are not loaded).
    QVariant decode(const QByteArray& record, int field) const;
    // The text a grid shows: blank fields empty, numbers in the C locale's shortest form,
    // memo and blob fields by kind ("(MEMO)", "(BLOB)", "(GRAPHIC)"; lower case when empty).
    QString displayText(const QByteArray& record, int field) const;
    // Stores `value` in the field (a null or empty value blanks it). Text is converted as
    // the database engine converts it. Throws ConversionError when it does not fit.
    void encode(QByteArray& record, int field, const QVariant& value) const;
    QByteArray blankRecord() const { return QByteArray(m_header.recordSize, '\0'); }
    // A blank record with `values` stored in the first fields, in field order.
    QByteArray recordFrom(const QVariantList& values) const;

    // The row whose key fields hold `key` (one value per key field), or -1.
    int findKey(const QVariantList& key) const;

    // Writes `record` over row `row`; returns the row it is found at afterwards (a key
    // edit moves it). A key already held by another record is a key violation.
    int post(int row, const QByteArray& record);
    // Adds a record; returns its row. Blank autoincrement fields get the next number.
    int append(const QByteArray& record);
    // Adds several records in one rewrite: all of them or, on a failure, none.
    void appendRecords(const QList<QByteArray>& records);
    // Adds a field after the last one, blank in every record; every record and value stays.
    void addField(const paradox::FieldDef& field);

    // Creates an empty table; with keyFields > 0 the first fields form the primary
    // (unique) key and an empty .PX is written beside it. An existing table of that name
    // is replaced only once the new one is complete.
    static void create(const QString& path, const QList<paradox::FieldDef>& fields, int keyFields);

    // The .PX file that belongs to the .DB at `path` (same name, matching case of the
    // extension).
    static QString indexPathFor(const QString& path);

private:
    struct Pxlib;

    void openDevice(std::unique_ptr<QIODevice> device, const QString& path, Access access);
    void requireWritable() const;
    bool keyIsBytewise() const;
    QByteArray allRecords() const;
    QByteArray keyOf(const QByteArray& record) const;
    // Sorts by key and refuses duplicates; returns the sorted records and the position of
    // `watch` (a record index before sorting) after it.
    QByteArray sortedByKey(const QByteArray& records, int watch, int* watchedRow) const;
    int appendAll(const QList<QByteArray>& records);
    void rewrite(const QByteArray& header, const QByteArray& records, int blockCode, bool freshIndex);
    void writeInPlace(int row, const QByteArray& record);

    std::unique_ptr<Pxlib> m_px;
    std::unique_ptr<QIODevice> m_device;
    QString m_path;
    Access m_access = Access::ReadOnly;
    paradox::TableHeader m_header;
    QList<paradox::BlockRun> m_runs;
    QList<int> m_runStart; // first row of each run
    int m_count = 0;
    QTextCodec* m_codec = nullptr;
    mutable int m_cachedRun = -1;
    mutable QByteArray m_cache;
};

// The text codec of a Paradox code page (1252, 437, 932, 936 ...; 0, the 3.x tables that
// name none, is 437); Latin-1 when Qt has none for it, so every byte still reads as one
// character.
QTextCodec* codecForCodePage(int codePage);

} // namespace vantor
