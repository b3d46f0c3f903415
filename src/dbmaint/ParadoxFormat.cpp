#include "ParadoxFormat.h"

#include "DatabaseErrors.h"

#include <QDateTime>
#include <QIODevice>
#include <QSet>

#include <numeric>

namespace vantor::paradox {

namespace {

constexpr int kCommonHeader = 0x58; // the part every data and index file shares
constexpr int kDataHeader = 0x78;   // with the 4.0+ data-file part
constexpr int kShortName = 79;      // stored table name before version 7
constexpr int kLongName = 261;      // and from version 7 on
// Header pointers are the engine's memory addresses while it had the header loaded; they
// mean nothing on disk, but Borland's own files always carry them, so ours carry a
// consistent set relative to an invented base.
constexpr quint32 kPointerBase = 0x10000000;

[[noreturn]] void damaged(const QString& what) {
    throw DatabaseError(QStringLiteral("Corrupt table or index header: %1").arg(what));
}

int tableNameLength(int version) {
    return version >= kVersion7 ? kLongName : kShortName;
}

// Field names follow the stored table name; each ends with a NUL inside the header.
bool readNames(const QByteArray& raw, int from, int count, QList<QByteArray>& names, int& end) {
    names.clear();
    int pos = from;
    for (int i = 0; i < count; ++i) {
        if (pos >= raw.size())
            return false;
        const int nul = raw.indexOf('\0', pos);
        if (nul < 0 || nul == pos)
            return false;
        names.append(raw.mid(pos, nul - pos));
        pos = nul + 1;
    }
    end = pos;
    return true;
}

quint16 dosDateTimeHigh(const QDateTime& t) {
    const QDate d = t.date();
    return quint16(((d.year() - 1980) << 9) | (d.month() << 5) | d.day());
}

quint16 dosDateTimeLow(const QDateTime& t) {
    const QTime c = t.time();
    return quint16((c.hour() << 11) | (c.minute() << 5) | (c.second() / 2));
}

// A Paradox short as stored in records: big-endian with the sign bit flipped.
void putRecordShort(char* at, int value) {
    const quint16 v = quint16(qint16(value)) ^ 0x8000;
    at[0] = char(v >> 8);
    at[1] = char(v & 0xff);
}

} // namespace

quint16 le16(const QByteArray& b, int o) {
    return quint16(uchar(b[o]) | (uchar(b[o + 1]) << 8));
}

quint32 le32(const QByteArray& b, int o) {
    return quint32(uchar(b[o])) | (quint32(uchar(b[o + 1])) << 8) | (quint32(uchar(b[o + 2])) << 16) |
           (quint32(uchar(b[o + 3])) << 24);
}

void putLe16(QByteArray& b, int o, quint16 v) {
    b[o] = char(v & 0xff);
    b[o + 1] = char(v >> 8);
}

void putLe32(QByteArray& b, int o, quint32 v) {
    for (int i = 0; i < 4; ++i)
        b[o + i] = char((v >> (8 * i)) & 0xff);
}

int FieldDef::width() const {
    return type == FieldType::Bcd ? 17 : size;
}

bool isBlobType(FieldType t) {
    return t == FieldType::Memo || t == FieldType::Blob || t == FieldType::FmtMemo || t == FieldType::Ole ||
           t == FieldType::Graphic;
}

bool isValidField(FieldType t, int size) {
    switch (t) {
    case FieldType::Alpha:
    case FieldType::Bytes:
        return size >= 1 && size <= 255;
    case FieldType::Date:
    case FieldType::Long:
    case FieldType::Time:
    case FieldType::AutoInc:
        return size == 4;
    case FieldType::Short:
        return size == 2;
    case FieldType::Currency:
    case FieldType::Number:
    case FieldType::Timestamp:
        return size == 8;
    case FieldType::Logical:
        return size == 1;
    case FieldType::Memo:
    case FieldType::FmtMemo:
        return size >= 11 && size <= 250;
    case FieldType::Blob:
    case FieldType::Ole:
    case FieldType::Graphic:
        return size >= 10 && size <= 250;
    case FieldType::Bcd:
        return size >= 0 && size <= 32;
    }
    return false;
}

int minimumVersion(FieldType t) {
    switch (t) {
    case FieldType::Alpha:
    case FieldType::Date:
    case FieldType::Short:
    case FieldType::Currency:
    case FieldType::Number:
    case FieldType::Memo:
    case FieldType::Blob:
        return kVersion4;
    default:
        return kVersion5;
    }
}

int TableHeader::keyWidth() const {
    int w = 0;
    for (int i = 0; i < keyFields && i < fields.size(); ++i)
        w += fields[i].width();
    return w;
}

TableHeader readHeader(QIODevice& device, bool expectIndex) {
    const qint64 fileSize = device.size();
    if (!device.seek(0))
        throw DatabaseError(QStringLiteral("Cannot read the table file"));
    const QByteArray head = device.read(kCommonHeader);
    if (head.size() < kCommonHeader)
        throw DatabaseError(QStringLiteral("Not a Paradox table: the file is too short"));

    TableHeader h;
    h.recordSize = le16(head, 0x00);
    h.headerSize = le16(head, 0x02);
    h.fileType = uchar(head[0x04]);
    h.blockCode = uchar(head[0x05]);
    h.numRecords = le32(head, 0x06);
    h.fileBlocks = le16(head, 0x0C);
    h.firstBlock = le16(head, 0x0E);
    h.lastBlock = le16(head, 0x10);
    const int numFields = le16(head, 0x21);
    h.keyFields = le16(head, 0x23);
    h.sortOrder = uchar(head[0x29]);
    h.version = uchar(head[0x39]);
    h.autoInc = qint32(le32(head, 0x49));

    const bool typeOk = expectIndex ? h.fileType == 1 : (h.fileType == 0 || h.fileType == 2);
    if (!typeOk || h.version < 3 || h.version > kVersion7)
        throw DatabaseError(QStringLiteral("Not a Paradox table (unknown file type or version)"));
    const bool blockOk =
        h.blockCode == 1 || h.blockCode == 2 || h.blockCode == 3 || h.blockCode == 4 ||
        (h.version >= kVersion7 && (h.blockCode == 8 || h.blockCode == 16 || h.blockCode == 32));
    if (!blockOk)
        damaged(QStringLiteral("block size code %1").arg(h.blockCode));
    if (h.headerSize < kCommonHeader || h.headerSize > fileSize)
        damaged(QStringLiteral("header size %1").arg(h.headerSize));
    if (numFields < 1 || numFields > 255 || h.keyFields > numFields)
        damaged(QStringLiteral("%1 fields, %2 key fields").arg(numFields).arg(h.keyFields));
    if (h.recordSize < 1 || h.recordSize > h.blockSize() - kDataBlockHeader)
        damaged(QStringLiteral("record size %1").arg(h.recordSize));

    const bool dataHeader = !expectIndex && h.version >= 5;
    if (h.headerSize < (dataHeader ? kDataHeader : kCommonHeader))
        damaged(QStringLiteral("header size %1").arg(h.headerSize));
    device.seek(0);
    h.raw = device.read(h.headerSize);
    if (h.raw.size() != h.headerSize)
        damaged(QStringLiteral("header shorter than announced"));

    h.encrypted = dataHeader ? le32(h.raw, 0x5C) != 0 : le32(h.raw, 0x25) != 0;
    if (h.encrypted)
        throw DatabaseError(QStringLiteral("The table is encrypted (password protected)"));
    h.codePage = dataHeader ? le16(h.raw, 0x6A) : 0;

    const int infoAt = dataHeader ? kDataHeader : kCommonHeader;
    if (infoAt + 2 * numFields > h.headerSize)
        damaged(QStringLiteral("field list beyond the header"));
    int width = 0;
    for (int i = 0; i < numFields; ++i) {
        FieldDef f;
        f.type = FieldType(uchar(h.raw[infoAt + 2 * i]));
        f.size = uchar(h.raw[infoAt + 2 * i + 1]);
        if (!isValidField(f.type, f.size))
            damaged(QStringLiteral("field %1 has type %2 size %3").arg(i + 1).arg(int(f.type)).arg(f.size));
        width += f.width();
        h.fields.append(f);
    }
    if (width + (expectIndex ? kIndexTrailer : 0) != h.recordSize)
        damaged(QStringLiteral("record size %1 does not match its fields (%2)").arg(h.recordSize).arg(width));
    if (expectIndex)
        return h;

    // Names come after the field list, the table-name pointer, one pointer per field and
    // the stored table name, whose length changed with version 7; some files keep the
    // older length, so the other one is tried when names do not fit.
    const int afterPointers = infoAt + 2 * numFields + 4 + 4 * numFields;
    QList<QByteArray> names;
    int end = 0;
    const int preferred = tableNameLength(h.version);
    const int other = preferred == kLongName ? kShortName : kLongName;
    if (!readNames(h.raw, afterPointers + preferred, numFields, names, end) &&
        !readNames(h.raw, afterPointers + other, numFields, names, end))
        damaged(QStringLiteral("field names"));
    for (int i = 0; i < numFields; ++i)
        h.fields[i].name = QString::fromLatin1(names[i]); // replaced by ParadoxTable in the table's code page
    h.rawNames = names;
    const int sortAt = end + 2 * numFields;
    if (sortAt < h.raw.size()) {
        const int nul = h.raw.indexOf('\0', sortAt);
        if (nul > sortAt)
            h.sortOrderId = h.raw.mid(sortAt, nul - sortAt);
    }
    return h;
}

QList<BlockRun> readBlockChain(QIODevice& device, const TableHeader& h) {
    QList<BlockRun> runs;
    const qint64 available = (device.size() - h.headerSize) / h.blockSize();
    if (h.firstBlock == 0)
        return runs; // an empty table
    const int perBlock = h.recordsPerBlock();
    QSet<int> seen;
    int block = h.firstBlock;
    while (block != 0) {
        if (block < 0 || block > available)
            damaged(QStringLiteral("block %1 lies outside the file").arg(block));
        if (seen.contains(block))
            damaged(QStringLiteral("the block chain loops at block %1").arg(block));
        seen.insert(block);
        const qint64 at = h.headerSize + qint64(block - 1) * h.blockSize();
        if (!device.seek(at))
            damaged(QStringLiteral("block %1 cannot be read").arg(block));
        const QByteArray head = device.read(kDataBlockHeader);
        if (head.size() != kDataBlockHeader)
            damaged(QStringLiteral("block %1 cannot be read").arg(block));
        const int next = le16(head, 0);
        const int addData = qint16(le16(head, 4));
        int records = 0;
        if (addData >= 0) {
            if (addData % h.recordSize != 0)
                damaged(QStringLiteral("block %1 holds a partial record").arg(block));
            records = addData / h.recordSize + 1;
        }
        if (records > perBlock)
            damaged(QStringLiteral("block %1 claims %2 records").arg(block).arg(records));
        if (records > 0)
            runs.append({at + kDataBlockHeader, records, block});
        block = next;
    }
    return runs;
}

int blockCodeFor(int recordSize, int version) {
    const QList<int> codes = version >= kVersion7 ? QList<int>{2, 4, 8, 16, 32} : QList<int>{2, 4};
    for (int code : codes)
        if (code * 0x400 - kDataBlockHeader >= recordSize)
            return code;
    return 0;
}

QByteArray buildDataHeader(const NewTableSpec& shape) {
    const int n = int(shape.fields.size());
    const int nameLength = tableNameLength(shape.version);
    int recordSize = 0;
    for (const FieldDef& f : shape.fields)
        recordSize += f.width();
    const int tableNamePtrAt = kDataHeader + 2 * n;
    const int tableNameAt = tableNamePtrAt + 4 + 4 * n;
    int namesSize = 0;
    for (const QByteArray& name : shape.rawNames)
        namesSize += int(name.size()) + 1;
    const int used = tableNameAt + nameLength + namesSize + 2 * n + int(shape.sortOrderId.size()) + 1;
    const int headerSize = ((used + 0x7FF) / 0x800) * 0x800;

    QByteArray h(headerSize, '\0');
    putLe16(h, 0x00, quint16(recordSize));
    putLe16(h, 0x02, quint16(headerSize));
    h[0x04] = char(shape.keyFields > 0 ? 0 : 2);
    h[0x05] = char(shape.blockCode);
    if (shape.keyFields > 0)
        putLe32(h, 0x16, kPointerBase + quint32(headerSize)); // "has a primary index" while loaded
    putLe16(h, 0x21, quint16(n));
    putLe16(h, 0x23, quint16(shape.keyFields));
    putLe32(h, 0x25, 0xFF00FF00); // 4.0+ files keep the encryption word at 0x5C
    h[0x29] = char(shape.sortOrder);
    h[0x2D] = 1;
    h[0x2E] = 1;
    putLe32(h, 0x30, kPointerBase + tableNamePtrAt);
    putLe32(h, 0x34, kPointerBase + kDataHeader);
    h[0x39] = char(shape.version);
    h[0x3E] = char(0x1F);
    h[0x3F] = char(0x0F);
    h[0x56] = char(0x20);
    putLe16(h, 0x58, quint16(0x0100 | shape.version));
    putLe16(h, 0x5A, quint16(0x0100 | shape.version));
    const QDateTime now = QDateTime::currentDateTime();
    putLe16(h, 0x60, dosDateTimeLow(now));
    putLe16(h, 0x62, dosDateTimeHigh(now));
    putLe16(h, 0x64, quint16(n + 1));
    putLe16(h, 0x66, quint16(used));
    putLe16(h, 0x6A, quint16(shape.codePage));
    h[0x6C] = 1;
    h[0x6D] = 1;
    putLe16(h, 0x6E, quint16(used + 2 * n));
    putLe16(h, 0x70, 1);

    for (int i = 0; i < n; ++i) {
        h[kDataHeader + 2 * i] = char(shape.fields[i].type);
        h[kDataHeader + 2 * i + 1] = char(shape.fields[i].size);
    }
    putLe32(h, tableNamePtrAt, kPointerBase + tableNameAt);
    h.replace(tableNameAt, qMin(int(shape.tableName.size()), nameLength - 1),
              shape.tableName.left(nameLength - 1));
    int at = tableNameAt + nameLength;
    for (int i = 0; i < n; ++i) {
        putLe32(h, tableNamePtrAt + 4 + 4 * i, kPointerBase + at);
        h.replace(at, int(shape.rawNames[i].size()), shape.rawNames[i]);
        at += int(shape.rawNames[i].size()) + 1;
    }
    for (int i = 0; i < n; ++i, at += 2)
        putLe16(h, at, quint16(i + 1));
    h.replace(at, int(shape.sortOrderId.size()), shape.sortOrderId);
    return h;
}

QByteArray buildDataFile(const QByteArray& header, const QByteArray& records, int recordSize, int blockCode) {
    const int blockSize = blockCode * 0x400;
    const int perBlock = (blockSize - kDataBlockHeader) / recordSize;
    const int count = int(records.size() / recordSize);
    const int blocks = (count + perBlock - 1) / perBlock;

    QByteArray out = header;
    out[0x05] = char(blockCode);
    putLe32(out, 0x06, quint32(count));
    putLe16(out, 0x0A, quint16(blocks));
    putLe16(out, 0x0C, quint16(blocks));
    putLe16(out, 0x0E, quint16(blocks > 0 ? 1 : 0));
    putLe16(out, 0x10, quint16(blocks));
    putLe16(out, 0x3A, quint16(blocks));
    putLe16(out, 0x4D, 0); // no free blocks: every block is packed
    out[0x14] = 0;         // nothing left for a rebuild to do
    out[0x2A] = 0;
    out[0x4F] = 0;
    out[0x2D] = char(uchar(out[0x2D]) + 1);

    out.reserve(out.size() + qint64(blocks) * blockSize);
    for (int b = 0; b < blocks; ++b) {
        const int first = b * perBlock;
        const int inBlock = qMin(perBlock, count - first);
        QByteArray block(blockSize, '\0');
        putLe16(block, 0, quint16(b + 1 < blocks ? b + 2 : 0));
        putLe16(block, 2, quint16(b));
        putLe16(block, 4, quint16((inBlock - 1) * recordSize));
        block.replace(kDataBlockHeader, inBlock * recordSize,
                      records.constData() + qint64(first) * recordSize, inBlock * recordSize);
        out.append(block);
    }
    return out;
}

QByteArray buildIndexFile(const IndexSpec& shape, const QByteArray& records, int recordSize,
                          int dataBlockCode) {
    int keyWidth = 0;
    for (const FieldDef& f : shape.keyFields)
        keyWidth += f.width();
    const int entrySize = keyWidth + kIndexTrailer;
    int code = shape.templateHeader.size() >= kCommonHeader ? uchar(shape.templateHeader[0x05]) : 2;
    if (code < 1 || code * 0x400 - kDataBlockHeader < 2 * entrySize)
        code = blockCodeFor(2 * entrySize, kVersion7);
    const int blockSize = code * 0x400;
    const int perIndexBlock = (blockSize - kDataBlockHeader) / entrySize;

    struct Entry {
        QByteArray key;
        int block;
        int statistic;
    };
    // Level 1: the first key of every data block with its record count.
    const int perDataBlock = (dataBlockCode * 0x400 - kDataBlockHeader) / recordSize;
    const int count = int(records.size() / recordSize);
    QList<Entry> level;
    for (int first = 0, b = 1; first < count; first += perDataBlock, ++b)
        level.append(
            {records.mid(qint64(first) * recordSize, keyWidth), b, qMin(perDataBlock, count - first)});

    // Block numbers go from the root down, level by level, the leaves last, and one chain
    // links them all in that order: the layout Paradox readers (pxlib among them) walk.
    QList<int> groupsPerLevel; // from the leaves up
    for (qsizetype n = level.size(); n > 0;) {
        const int groups = int((n + perIndexBlock - 1) / perIndexBlock);
        groupsPerLevel.append(groups);
        if (groups == 1)
            break;
        n = groups;
    }
    const int levels = int(groupsPerLevel.size());
    QList<int> firstNumber(levels); // first block number of each level, leaves at 0
    for (int l = levels - 1, next = 1; l >= 0; --l) {
        firstNumber[l] = next;
        next += groupsPerLevel[l];
    }
    const int total = std::accumulate(groupsPerLevel.cbegin(), groupsPerLevel.cend(), 0);
    QList<QByteArray> blocks(total);
    int entries = 0;
    for (int l = 0; l < levels; ++l) {
        entries += int(level.size());
        QList<Entry> upper;
        for (int g = 0; g < groupsPerLevel[l]; ++g) {
            const int number = firstNumber[l] + g;
            const int from = g * perIndexBlock;
            const int inBlock = qMin(perIndexBlock, int(level.size()) - from);
            QByteArray block(blockSize, '\0');
            putLe16(block, 0, quint16(number < total ? number + 1 : 0));
            putLe16(block, 2, quint16(number - 1));
            putLe16(block, 4, quint16((inBlock - 1) * entrySize));
            int sum = 0;
            for (int i = 0; i < inBlock; ++i) {
                const Entry& e = level[from + i];
                char* at = block.data() + kDataBlockHeader + i * entrySize;
                memcpy(at, e.key.constData(), size_t(keyWidth));
                putRecordShort(at + keyWidth, e.block);
                putRecordShort(at + keyWidth + 2, qMin(e.statistic, 0x7FFF));
                putRecordShort(at + keyWidth + 4, 0);
                sum += e.statistic;
            }
            blocks[number - 1] = block;
            upper.append({level[from].key, number, sum});
        }
        level = upper;
    }
    const int root = total > 0 ? 1 : 0;

    QByteArray h = shape.templateHeader;
    if (h.size() < kCommonHeader) {
        const int n = int(shape.keyFields.size());
        const int nameLength = tableNameLength(shape.version);
        h = QByteArray(0x800, '\0');
        putLe16(h, 0x00, quint16(entrySize));
        putLe16(h, 0x02, 0x800);
        h[0x04] = 1;
        putLe16(h, 0x21, quint16(n));
        h[0x29] = char(shape.sortOrder);
        h[0x2D] = 1;
        putLe32(h, 0x30, kPointerBase + kCommonHeader + 2 * n);
        putLe32(h, 0x34, kPointerBase + kCommonHeader);
        h[0x39] = char(shape.version);
        for (int i = 0; i < n; ++i) {
            h[kCommonHeader + 2 * i] = char(shape.keyFields[i].type);
            h[kCommonHeader + 2 * i + 1] = char(shape.keyFields[i].size);
        }
        const int tableNameAt = kCommonHeader + 2 * n + 4;
        putLe32(h, kCommonHeader + 2 * n, kPointerBase + tableNameAt);
        h.replace(tableNameAt, qMin(int(shape.tableName.size()), nameLength - 1),
                  shape.tableName.left(nameLength - 1));
    }
    h[0x05] = char(code);
    putLe32(h, 0x06, quint32(entries));
    putLe16(h, 0x0A, quint16(total));
    putLe16(h, 0x0C, quint16(total));
    putLe16(h, 0x0E, quint16(total > 0 ? 1 : 0));
    putLe16(h, 0x10, quint16(total));
    putLe16(h, 0x1E, quint16(root));
    h[0x20] = char(levels);
    putLe16(h, 0x3A, quint16(total));
    putLe16(h, 0x4D, 0);
    h[0x14] = 0;
    h[0x2A] = 0;
    h[0x2D] = char(uchar(h[0x2D]) + 1);
    for (const QByteArray& block : std::as_const(blocks))
        h.append(block);
    return h;
}

} // namespace vantor::paradox
