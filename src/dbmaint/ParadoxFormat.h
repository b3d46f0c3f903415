#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

class QIODevice;

// The Paradox table file layout (.DB data file and .PX primary index), as the Borland
// engine writes it. Reading here is validation and block bookkeeping only: every size and
// block link is checked against the file before anything is read through it, so a damaged
// or hostile file is refused with a DatabaseError instead of being trusted. Values inside
// records are decoded by ParadoxTable.
namespace vantor::paradox {

enum class FieldType : quint8 {
    Alpha = 0x01,
    Date = 0x02,
    Short = 0x03,
    Long = 0x04,
    Currency = 0x05,
    Number = 0x06,
    Logical = 0x09,
    Memo = 0x0C,
    Blob = 0x0D,
    FmtMemo = 0x0E,
    Ole = 0x0F,
    Graphic = 0x10,
    Time = 0x14,
    Timestamp = 0x15,
    AutoInc = 0x16,
    Bcd = 0x17,
    Bytes = 0x18,
};

// One field as the header describes it. `size` is the header's size byte: the length of an
// alpha, bytes or blob-leader field, the number of decimals of a BCD field, the fixed width
// of the other types.
struct FieldDef {
    QString name;
    FieldType type = FieldType::Alpha;
    int size = 0;

    // Bytes the field takes in a record.
    int width() const;
    bool operator==(const FieldDef&) const = default;
};

// Memo, formatted memo, blob, OLE and graphic fields keep their data in the .MB file.
bool isBlobType(FieldType type);
// Whether `type` with the header's size byte `size` is a field this format knows.
bool isValidField(FieldType type, int size);
// The lowest file version byte that can hold the field type.
int minimumVersion(FieldType type);

// File version bytes (header offset 0x39).
constexpr int kVersion4 = 0x09;
constexpr int kVersion5 = 0x0B;
constexpr int kVersion7 = 0x0C;

constexpr int kDataBlockHeader = 6;
constexpr int kIndexTrailer = 6; // block number, statistics, spare: three shorts per index record

struct TableHeader {
    int recordSize = 0;
    int headerSize = 0;
    int fileType = 0; // 0 keyed .DB, 1 .PX, 2 unkeyed .DB
    int blockCode = 0;
    quint32 numRecords = 0;
    int fileBlocks = 0;
    int firstBlock = 0;
    int lastBlock = 0;
    int keyFields = 0;
    int sortOrder = 0;
    int version = 0;
    int codePage = 0;
    qint32 autoInc = 0;
    bool encrypted = false;
    QList<FieldDef> fields;     // names are empty in a .PX
    QList<QByteArray> rawNames; // the field names as stored, in the table's code page
    QByteArray sortOrderId;     // "ascii", "ANSIINTL", ...
    QByteArray raw;             // the whole header as read, kept for rewrites

    int blockSize() const { return blockCode * 0x400; }
    int recordsPerBlock() const { return recordSize > 0 ? (blockSize() - kDataBlockHeader) / recordSize : 0; }
    int keyWidth() const;
    bool keyed() const { return fileType == 0 && keyFields > 0; }
};

// Parses and checks the header at the start of `device`. `expectIndex` reads a .PX header
// (no field names). Throws DatabaseError naming what is wrong.
TableHeader readHeader(QIODevice& device, bool expectIndex = false);

// Where the records are: the data blocks in chain order, with their record counts.
struct BlockRun {
    qint64 offset;   // file offset of the block's first record
    int records;     // records in the block
    int blockNumber; // 1-based
};

// Walks the block chain of a data file whose header was read by readHeader. Links out of
// the file, loops and impossible record counts throw DatabaseError.
QList<BlockRun> readBlockChain(QIODevice& device, const TableHeader& header);

// A new table's header. `tableName` is the bare file name Borland stores ("ApCtrl5kV.db");
// `rawNames` the field names in the table's code page.
struct NewTableSpec {
    QList<FieldDef> fields;
    QList<QByteArray> rawNames;
    int keyFields = 0;
    int version = kVersion5;
    int blockCode = 2;
    int codePage = 1252;
    int sortOrder = 0x4C;
    QByteArray sortOrderId = "DBWINUS0";
    QByteArray tableName;
};
QByteArray buildDataHeader(const NewTableSpec& shape);

// The bytes of a complete .DB file: `header` (a template whose counts are rewritten) and
// the records, `recordSize` bytes each, packed into full blocks in the given order.
QByteArray buildDataFile(const QByteArray& header, const QByteArray& records, int recordSize, int blockCode);

// The bytes of a complete .PX file for a data file built by buildDataFile. `templateHeader`
// is the table's old .PX header (kept, with its counts rewritten) or empty for a new one.
struct IndexSpec {
    QByteArray templateHeader;
    QList<FieldDef> keyFields;
    int version = kVersion5;
    int sortOrder = 0;
    QByteArray tableName; // "X.PX"
};
QByteArray buildIndexFile(const IndexSpec& shape, const QByteArray& records, int recordSize,
                          int dataBlockCode);

// Picks the smallest block size code (2 KiB at least, as the Borland engine does) that
// holds one record, within what `version` allows; 0 when none does.
int blockCodeFor(int recordSize, int version);

// Reads a little-endian value from a header.
quint16 le16(const QByteArray& bytes, int offset);
quint32 le32(const QByteArray& bytes, int offset);
void putLe16(QByteArray& bytes, int offset, quint16 value);
void putLe32(QByteArray& bytes, int offset, quint32 value);

} // namespace vantor::paradox
