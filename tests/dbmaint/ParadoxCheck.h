#pragma once

// A second, independent reading of what the program writes: the .DB block chain and the
// .PX tree are walked here from the raw bytes, and pxlib itself reads every record and
// loads the index. None of it goes through the program's own reader.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QtTest>

#include <functional>

extern "C" {
#include <paradox.h>
}

namespace vantor::test {

inline int rawLe16(const QByteArray& b, qint64 at) {
    return uchar(b[at]) | (uchar(b[at + 1]) << 8);
}

inline int recordShort(const QByteArray& b, qint64 at) {
    return ((uchar(b[at]) << 8) | uchar(b[at + 1])) ^ 0x8000;
}

struct RawBlock {
    int number;
    QList<QByteArray> records;
};

struct RawTable {
    int recordSize = 0;
    int keyWidth = 0;
    QList<RawBlock> blocks;
    QList<QByteArray> records() const {
        QList<QByteArray> all;
        for (const RawBlock& b : blocks)
            all += b.records;
        return all;
    }
};

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Walks the data blocks of a .DB file from its header's first block.
inline RawTable readRawTable(const QString& path) {
    const QByteArray b = fileBytes(path);
    RawTable t;
    if (b.size() < 0x78)
        return t;
    t.recordSize = rawLe16(b, 0);
    const int headerSize = rawLe16(b, 2);
    const int blockSize = uchar(b[5]) * 0x400;
    const int fields = rawLe16(b, 0x21);
    const int keys = rawLe16(b, 0x23);
    const int infoAt = uchar(b[0x39]) >= 5 ? 0x78 : 0x58;
    Q_UNUSED(fields);
    for (int i = 0; i < keys; ++i) {
        const int type = uchar(b[infoAt + 2 * i]);
        t.keyWidth += type == 0x17 ? 17 : uchar(b[infoAt + 2 * i + 1]);
    }
    int block = rawLe16(b, 0x0E);
    int guard = 0;
    while (block != 0 && guard++ < 100000) {
        const qint64 at = headerSize + qint64(block - 1) * blockSize;
        if (at + blockSize > b.size())
            break;
        const int add = qint16(rawLe16(b, at + 4));
        RawBlock rb{block, {}};
        for (int r = 0; add >= 0 && r <= add / t.recordSize; ++r)
            rb.records.append(b.mid(at + 6 + qint64(r) * t.recordSize, t.recordSize));
        t.blocks.append(rb);
        block = rawLe16(b, at);
    }
    return t;
}

struct IndexEntry {
    QByteArray key;
    int block;
    int statistic;
};

// The level-1 entries of a .PX file in tree order, found by descending from the root;
// checks on the way that every upper entry carries its child's first key and the sum of
// its statistics.
inline QList<IndexEntry> readIndexLeaves(const QString& pxPath) {
    const QByteArray b = fileBytes(pxPath);
    QList<IndexEntry> leaves;
    if (b.size() < 0x58)
        return leaves;
    const int entrySize = rawLe16(b, 0);
    const int headerSize = rawLe16(b, 2);
    const int blockSize = uchar(b[5]) * 0x400;
    const int keyWidth = entrySize - 6;
    const int root = rawLe16(b, 0x1E);
    const int levels = uchar(b[0x20]);
    std::function<int(int, int, QByteArray*)> walk = [&](int block, int level, QByteArray* firstKey) -> int {
        const qint64 at = headerSize + qint64(block - 1) * blockSize;
        const int add = qint16(rawLe16(b, at + 4));
        int sum = 0;
        for (int i = 0; add >= 0 && i <= add / entrySize; ++i) {
            const qint64 e = at + 6 + qint64(i) * entrySize;
            const IndexEntry entry{b.mid(e, keyWidth), recordShort(b, e + keyWidth),
                                   recordShort(b, e + keyWidth + 2)};
            if (i == 0 && firstKey)
                *firstKey = entry.key;
            if (level == 1) {
                leaves.append(entry);
            } else {
                QByteArray childFirst;
                const int childSum = walk(entry.block, level - 1, &childFirst);
                if (childFirst != entry.key || childSum != entry.statistic)
                    leaves.append({QByteArray("upper entry does not match its child"), -1, -1});
            }
            sum += entry.statistic;
        }
        return sum;
    };
    if (root > 0 && levels > 0)
        walk(root, levels, nullptr);
    return leaves;
}

// The table's index matches its blocks: one leaf per data block, in chain order, with the
// block's first key and record count; and the records are in ascending, unique key order.
inline void verifyKeyedFiles(const QString& dbPath, const QString& pxPath) {
    const RawTable t = readRawTable(dbPath);
    const QList<IndexEntry> leaves = readIndexLeaves(pxPath);
    QCOMPARE(leaves.size(), t.blocks.size());
    for (int i = 0; i < leaves.size(); ++i) {
        QCOMPARE(leaves[i].block, t.blocks[i].number);
        QCOMPARE(leaves[i].statistic, int(t.blocks[i].records.size()));
        QCOMPARE(leaves[i].key, t.blocks[i].records.first().left(t.keyWidth));
    }
    const QList<QByteArray> records = t.records();
    for (int i = 1; i < records.size(); ++i)
        QVERIFY2(records[i - 1].left(t.keyWidth) < records[i].left(t.keyWidth),
                 "keys out of order or repeated");
}

// pxlib's own reading of every record, and whether it loads the .PX.
struct PxlibReading {
    bool opened = false;
    bool indexLoaded = false;
    QList<QByteArray> records;
};

// PX_delete() leaves two things of an index document to its owner: the key copies that
// PX_read_primary_index() made, and, once the index is attached to a table, the index
// document itself.
inline void deleteIndexDocument(pxdoc_t* index) {
    auto* entries = static_cast<pxpindex_t*>(index->px_data);
    for (int i = 0; entries && i < index->px_datalen; ++i)
        if (entries[i].data)
            index->free(index, entries[i].data);
    PX_delete(index);
}

inline PxlibReading readWithPxlib(const QString& dbPath, const QString& pxPath = {}) {
    PxlibReading out;
    const auto quiet = [](pxdoc_t*, int, const char*, void*) {};
    pxdoc_t* doc = PX_new2(quiet, nullptr, nullptr, nullptr);
    pxdoc_t* index = nullptr;
    if (PX_open_file(doc, dbPath.toLocal8Bit().constData()) == 0) {
        out.opened = true;
        const int size = PX_get_recordsize(doc);
        QByteArray buffer(size, '\0');
        for (int i = 0; i < PX_get_num_records(doc); ++i)
            if (PX_get_record(doc, i, buffer.data()))
                out.records.append(buffer);
        if (!pxPath.isEmpty()) {
            index = PX_new2(quiet, nullptr, nullptr, nullptr);
            // Attaching the index replaces the block list pxlib built when it opened the
            // table without freeing it.
            void* builtAtOpen = doc->px_indexdata;
            if (PX_open_file(index, pxPath.toLocal8Bit().constData()) == 0 &&
                PX_read_primary_index(index) == 0 && PX_add_primary_index(doc, index) == 0) {
                out.indexLoaded = true;
                if (builtAtOpen)
                    doc->free(doc, builtAtOpen);
            }
        }
        PX_close(doc);
    }
    PX_delete(doc);
    if (index)
        deleteIndexDocument(index);
    return out;
}

} // namespace vantor::test
