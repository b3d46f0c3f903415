#include "ParadoxCheck.h"
#include "ParadoxFixtures.h"
#include "dbmaint/DatabaseErrors.h"
#include "dbmaint/ParadoxTable.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <limits>

using namespace vantor;
using paradox::FieldDef;
using paradox::FieldType;

using Rows = QList<QVariantList>;
Q_DECLARE_METATYPE(Rows)

namespace {

// A field list in the engine's own letters ("AP-No:I;Name:A20": long, alpha of 20 ...) and
// the field each letter stands for; a size of 0 is taken from the digits after the letter.
struct FieldLetter {
    char16_t letter;
    FieldType type;
    int size;
};
constexpr FieldLetter kFieldLetters[] = {
    {u'A', FieldType::Alpha, 0},  {u'S', FieldType::Short, 2},     {u'I', FieldType::Long, 4},
    {u'N', FieldType::Number, 8}, {u'$', FieldType::Currency, 8},  {u'D', FieldType::Date, 4},
    {u'T', FieldType::Time, 4},   {u'@', FieldType::Timestamp, 8}, {u'L', FieldType::Logical, 1},
    {u'#', FieldType::Bcd, 0},    {u'Y', FieldType::Bytes, 0},     {u'+', FieldType::AutoInc, 4},
};

QList<FieldDef> fieldsOf(const QString& fieldList) {
    QList<FieldDef> out;
    for (const QString& part : fieldList.split(QLatin1Char(';'))) {
        const QString name = part.section(QLatin1Char(':'), 0, -2);
        const QString type = part.section(QLatin1Char(':'), -1);
        const int size = type.mid(1).toInt();
        FieldDef f{name, FieldType::Alpha, size};
        for (const FieldLetter& known : kFieldLetters)
            if (type.at(0) == QChar(known.letter))
                f = {name, known.type, known.size ? known.size : size};
        out.append(f);
    }
    return out;
}

// Values compare by meaning: 5 and 5.0 are the same number.
bool sameValue(const QVariant& got, const QVariant& want) {
    if (want.isNull() || got.isNull())
        return want.isNull() == got.isNull();
    if (want.typeId() == QMetaType::Double || want.typeId() == QMetaType::Int)
        return qFuzzyCompare(got.toDouble() + 1.0, want.toDouble() + 1.0);
    return got == want;
}

void compareRow(const ParadoxTable& table, int row, const QVariantList& want) {
    for (int f = 0; f < want.size(); ++f) {
        const QVariant got = table.value(row, f);
        QVERIFY2(sameValue(got, want[f]),
                 qPrintable(QStringLiteral("row %1 field %2: got %3, want %4")
                                .arg(row)
                                .arg(table.fields()[f].name, got.toString(), want[f].toString())));
    }
}

} // namespace

class TestParadoxTable : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void createdTablesReadBackFromTheFiles_data();
    void createdTablesReadBackFromTheFiles();
    void keyViolationLeavesTheFilesUntouched();
    void editsStayInPlaceOrMoveWithTheirKey();
    void manyRecordsGetAMultiLevelIndex();
    void valuesThatDoNotFitAreRefused_data();
    void valuesThatDoNotFitAreRefused();
    void fixturesReadAsPxlibReadsThem();
    void fixtureValues_data();
    void fixtureValues();
    void fixtureEditsAreWrittenAndIndexKept_data();
    void fixtureEditsAreWrittenAndIndexKept();
    void restructureKeepsEveryRecord_data();
    void restructureKeepsEveryRecord();
    void filesThatAreNotTablesAreRefused_data();
    void filesThatAreNotTablesAreRefused();
    void tablesWithSecondaryIndexesAreNotChanged();
    void damagedTimestampsReadAsBlank_data();
    void damagedTimestampsReadAsBlank();
    void changesByAnotherProgramAreNotOverwritten();

private:
    QString makeTable(const QString& name, const QString& fieldList, int keys, const Rows& rows);
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestParadoxTable::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

QString TestParadoxTable::makeTable(const QString& name, const QString& fieldList, int keys,
                                    const Rows& rows) {
    const QString path = m_dir->filePath(name);
    ParadoxTable::create(path, fieldsOf(fieldList), keys);
    ParadoxTable table;
    table.open(path);
    for (const QVariantList& values : rows)
        table.append(table.recordFrom(values));
    return path;
}

void TestParadoxTable::createdTablesReadBackFromTheFiles_data() {
    QTest::addColumn<QString>("fieldList");
    QTest::addColumn<int>("keys");
    QTest::addColumn<Rows>("given");
    QTest::addColumn<Rows>("stored");

    const Rows apertures{{3, true, 9.3}, {0, false, 1.5}, {2, QVariant(), -0.25}, {1, true, 12500.0}};
    QTest::newRow("long key, appended out of order, stored in key order")
        << "AP-No:I;Low-Cur:L;C.L.:N" << 1 << apertures
        << Rows{{0, false, 1.5}, {1, true, 12500.0}, {2, QVariant(), -0.25}, {3, true, 9.3}};
    const Rows negatives{{-5.5, QStringLiteral("b")},
                         {100.0, QStringLiteral("c")},
                         {-100.0, QStringLiteral("a")},
                         {0.0, QStringLiteral("z")}};
    QTest::newRow("number key with negatives") << "V:N;Tag:A4" << 1 << negatives
                                               << Rows{{-100.0, QStringLiteral("a")},
                                                       {-5.5, QStringLiteral("b")},
                                                       {0.0, QStringLiteral("z")},
                                                       {100.0, QStringLiteral("c")}};
    QTest::newRow("two-field alpha and short key")
        << "Name:A10;N:S;X:N" << 2 << Rows{{"b", 2, 1.0}, {"a", 9, 2.0}, {"b", -1, 3.0}, {"ab", 0, 4.0}}
        << Rows{{"a", 9, 2.0}, {"ab", 0, 4.0}, {"b", -1, 3.0}, {"b", 2, 1.0}};

    const QVariantList every{QStringLiteral("Grüße"),
                             7,
                             -70000,
                             3.25,
                             12.5,
                             QDate(1999, 12, 31),
                             QTime(13, 45, 10),
                             QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)),
                             false,
                             QStringLiteral("12.34"),
                             QByteArray("\x01\x02", 2),
                             QVariant()};
    const QVariantList everyStored{QStringLiteral("Grüße"),
                                   7,
                                   -70000,
                                   3.25,
                                   12.5,
                                   QDate(1999, 12, 31),
                                   QTime(13, 45, 10),
                                   QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)),
                                   false,
                                   QStringLiteral("12.34"),
                                   QByteArray("\x01\x02\x00\x00", 4),
                                   1};
    const QVariantList blanks{QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant(),
                              QVariant(), QVariant(), QVariant(), QVariant(), QVariant(), QVariant()};
    QVariantList blanksStored = blanks;
    blanksStored[11] = 2;
    QTest::newRow("every writable type, unkeyed, with blanks")
        << "A:A20;S:S;I:I;N:N;C:$;D:D;T:T;TS:@;L:L;B:#2;Y:Y4;Auto:+" << 0 << Rows{every, blanks}
        << Rows{everyStored, blanksStored};
    QTest::newRow("empty keyed table") << "K:I;V:N" << 1 << Rows{} << Rows{};
}

void TestParadoxTable::createdTablesReadBackFromTheFiles() {
    QFETCH(QString, fieldList);
    QFETCH(int, keys);
    QFETCH(Rows, given);
    QFETCH(Rows, stored);

    const QString path = makeTable(QStringLiteral("T.DB"), fieldList, keys, given);
    ParadoxTable table;
    table.open(path, ParadoxTable::Access::ReadOnly);
    QCOMPARE(table.recordCount(), stored.size());
    QCOMPARE(table.keyFieldCount(), keys);
    const QList<FieldDef> fields = fieldsOf(fieldList);
    for (int i = 0; i < fields.size(); ++i)
        QCOMPARE(table.fields()[i].name, fields[i].name);
    for (int row = 0; row < stored.size(); ++row)
        compareRow(table, row, stored[row]);

    // The files themselves: pxlib reads the same records and loads the index, and the
    // index matches the blocks.
    const QString px = keys > 0 ? ParadoxTable::indexPathFor(path) : QString();
    const test::PxlibReading pxlib = test::readWithPxlib(path, px);
    QVERIFY(pxlib.opened);
    QCOMPARE(pxlib.records.size(), stored.size());
    for (int row = 0; row < stored.size(); ++row)
        QCOMPARE(pxlib.records[row], table.record(row));
    QCOMPARE(QFile::exists(ParadoxTable::indexPathFor(path)), keys > 0);
    if (keys > 0) {
        if (!stored.isEmpty())
            QVERIFY(pxlib.indexLoaded);
        test::verifyKeyedFiles(path, px);
    }
    // Borland stores the bare table name and leaves 0x55 zero.
    const QByteArray header = test::fileBytes(path);
    QVERIFY(header.indexOf("T.DB") > 0);
    QVERIFY(!header.contains(QFile::encodeName(m_dir->path())));
    QCOMPARE(int(header[0x55]), 0);
}

void TestParadoxTable::keyViolationLeavesTheFilesUntouched() {
    const QString path =
        makeTable(QStringLiteral("K.DB"), QStringLiteral("K:I;V:N"), 1, {{1, 1.0}, {2, 2.0}});
    const QByteArray db = test::fileBytes(path);
    const QByteArray px = test::fileBytes(ParadoxTable::indexPathFor(path));
    ParadoxTable table;
    table.open(path);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, table.append(table.recordFrom({2, 5.0})));
    QByteArray first = table.record(0);
    table.encode(first, 0, 2);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, table.post(0, first));
    QCOMPARE(test::fileBytes(path), db);
    QCOMPARE(test::fileBytes(ParadoxTable::indexPathFor(path)), px);
    compareRow(table, 0, {1, 1.0});
}

void TestParadoxTable::editsStayInPlaceOrMoveWithTheirKey() {
    const QString path = makeTable(QStringLiteral("E.db"), QStringLiteral("K:I;V:N;Note:A8"), 1,
                                   {{10, 1.0, "a"}, {20, 2.0, "b"}, {30, 3.0, "c"}});
    QCOMPARE(ParadoxTable::indexPathFor(path), m_dir->filePath(QStringLiteral("E.px")));
    ParadoxTable table;
    table.open(path);
    QByteArray r = table.record(1);
    table.encode(r, 1, 22.5);
    QCOMPARE(table.post(1, r), 1);
    table.encode(r, 0, 5);
    QCOMPARE(table.post(1, r), 0);
    table.close();

    table.open(path);
    compareRow(table, 0, {5, 22.5, "b"});
    compareRow(table, 1, {10, 1.0, "a"});
    compareRow(table, 2, {30, 3.0, "c"});
    QCOMPARE(table.findKey({30}), 2);
    QCOMPARE(table.findKey({20}), -1);
    test::verifyKeyedFiles(path, ParadoxTable::indexPathFor(path));
}

void TestParadoxTable::manyRecordsGetAMultiLevelIndex() {
    // 221-byte records in 2 KiB blocks hold 9 a block; 10-byte index entries fill a 2 KiB
    // index block with 204: 5000 records need 556 leaves, in three leaf blocks under a root.
    QString fieldList = QStringLiteral("AP-No:I;Low-Cur:L");
    for (int i = 0; i < 27; ++i)
        fieldList += QStringLiteral(";F%1:N").arg(i);
    const QString path = m_dir->filePath(QStringLiteral("Big.DB"));
    ParadoxTable::create(path, fieldsOf(fieldList), 1);
    ParadoxTable table;
    table.open(path);
    QList<QByteArray> records;
    for (int k = 4999; k >= 0; --k)
        records.append(table.recordFrom({k * 2, k % 2 == 0, k * 0.5}));
    table.appendRecords(records);
    QCOMPARE(table.recordCount(), 5000);
    QCOMPARE(table.findKey({0}), 0);
    QCOMPARE(table.findKey({2468}), 1234);
    QCOMPARE(table.findKey({9998}), 4999);
    QCOMPARE(table.findKey({3}), -1);
    compareRow(table, 1234, {2468, true, 617.0});

    const QString px = ParadoxTable::indexPathFor(path);
    const QByteArray index = test::fileBytes(px);
    QCOMPARE(int(index[0x20]), 2);           // two levels
    QCOMPARE(test::rawLe16(index, 0x1E), 1); // the root comes first
    QCOMPARE(test::rawLe16(index, 0x0C), 4); // and three leaf blocks after it
    test::verifyKeyedFiles(path, px);
    const test::PxlibReading pxlib = test::readWithPxlib(path, px);
    QCOMPARE(pxlib.records.size(), 5000);
    QVERIFY(pxlib.indexLoaded);
}

void TestParadoxTable::valuesThatDoNotFitAreRefused_data() {
    QTest::addColumn<QString>("fieldList");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("message");
    QTest::newRow("text in a number field")
        << "N:N" << QVariant(QStringLiteral("1.2.3")) << "'1.2.3' is not a valid floating point value";
    QTest::newRow("fraction in a long field")
        << "I:I" << QVariant(QStringLiteral("2.5")) << "'2.5' is not a valid integer value";
    QTest::newRow("short out of range")
        << "S:S" << QVariant(40000) << "40000 is not within the range -32767 to 32767";
    QTest::newRow("alpha too long") << "A:A3" << QVariant(QStringLiteral("abcd"))
                                    << "'abcd' is longer than field \"A\" (3 characters)";
    QTest::newRow("not a date") << "D:D" << QVariant(QStringLiteral("yesterday"))
                                << "'yesterday' is not a valid date";
    QTest::newRow("not a boolean") << "L:L" << QVariant(QStringLiteral("maybe"))
                                   << "'maybe' is not a valid boolean value";
}

void TestParadoxTable::valuesThatDoNotFitAreRefused() {
    QFETCH(QString, fieldList);
    QFETCH(QVariant, value);
    QFETCH(QString, message);
    const QString path = makeTable(QStringLiteral("V.DB"), fieldList, 0, {});
    ParadoxTable table;
    table.open(path);
    QByteArray r = table.blankRecord();
    try {
        table.encode(r, 0, value);
        QFAIL("no conversion error");
    } catch (const ConversionError& e) {
        QCOMPARE(e.message(), message);
    }
    QCOMPARE(r, table.blankRecord());
}

void TestParadoxTable::fixturesReadAsPxlibReadsThem() {
    const QString folder = test::paradoxFixtures();
    if (folder.isEmpty())
        QSKIP("no Paradox fixtures here");
    const QStringList tables =
        QDir(folder).entryList({QStringLiteral("*.db"), QStringLiteral("*.DB")}, QDir::Files);
    QVERIFY(tables.size() >= 5);
    for (const QString& name : tables) {
        const QString path = QDir(folder).filePath(name);
        ParadoxTable table;
        table.open(path, ParadoxTable::Access::ReadOnly);
        const test::PxlibReading pxlib = test::readWithPxlib(path);
        QVERIFY2(pxlib.opened, qPrintable(name));
        QCOMPARE(table.recordCount(), pxlib.records.size());
        for (int row = 0; row < table.recordCount(); ++row) {
            QCOMPARE(table.record(row), pxlib.records[row]);
            for (int f = 0; f < table.fields().size(); ++f)
                table.displayText(table.record(row), f); // every field of every type decodes
        }
        // The same bytes opened from memory give the same table.
        ParadoxTable fromBytes;
        fromBytes.openBytes(test::fileBytes(path));
        QCOMPARE(fromBytes.recordCount(), table.recordCount());
    }
}

void TestParadoxTable::fixtureValues_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("expected");
    QTest::addColumn<QString>("shown");
    QTest::newRow("state key") << "pdxdrv-tblsttes.DB" << 0 << "State" << QVariant(QStringLiteral("AK"))
                               << "AK";
    QTest::newRow("Alaska admitted") << "pdxdrv-tblsttes.DB" << 0 << "Date Admitted"
                                     << QVariant(QDate(1959, 1, 3)) << "1959-01-03";
    QTest::newRow("Alabama admitted")
        << "pdxdrv-tblsttes.DB" << 1 << "Date Admitted" << QVariant(QDate(1819, 12, 14)) << "1819-12-14";
    QTest::newRow("Alabama capital") << "pdxdrv-tblsttes.DB" << 1 << "Capital"
                                     << QVariant(QStringLiteral("Montgomery")) << "Montgomery";
    QTest::newRow("second block") << "pdxdrv-tblsttes.DB" << 57 << "State" << QVariant(QStringLiteral("WY"))
                                  << "WY";
    QTest::newRow("logical true") << "pdxdrv-logical.db" << 0 << "BOOL" << QVariant(true) << "True";
    QTest::newRow("logical false") << "pdxdrv-logical.db" << 1 << "BOOL" << QVariant(false) << "False";
    QTest::newRow("long key") << "pdxdrv-GENERAL.DB" << 2 << "ID" << QVariant(333333333) << "333333333";
    QTest::newRow("currency") << "pdxdrv-GENERAL.DB" << 1 << "MONEYS" << QVariant(150.0) << "150";
    QTest::newRow("memo with data, not loaded")
        << "pxlib-TypSammlung.DB" << 2 << "Memo" << QVariant() << "(MEMO)";
    QTest::newRow("empty memo") << "pxlib-TypSammlung.DB" << 0 << "Memo" << QVariant() << "(memo)";
    QTest::newRow("blank currency") << "pxlib-TypSammlung.DB" << 1 << "Währung" << QVariant() << "";
    QTest::newRow("blank logical") << "pxlib-TypSammlung.DB" << 0 << "Logisch" << QVariant() << "";
    QTest::newRow("blank date") << "pxlib-TypSammlung.DB" << 3 << "Datum" << QVariant() << "";
    QTest::newRow("zero short, not blank")
        << "pxlib-TypSammlung.DB" << 3 << "Integer kurz" << QVariant(0) << "0";
    QTest::newRow("negative long") << "pxlib-TypSammlung.DB" << 4 << "Integer lang" << QVariant(-40) << "-40";
    QTest::newRow("time") << "pxlib-TypSammlung.DB" << 4 << "Zeit" << QVariant(QTime(11, 11, 11))
                          << "11:11:11";
    QTest::newRow("timestamp") << "pxlib-TypSammlung.DB" << 4 << "Datum/Zeit"
                               << QVariant(QDateTime(QDate(2003, 6, 10), QTime(11, 11, 11)))
                               << "2003-06-10 11:11:11";
    QTest::newRow("bcd") << "pxlib-TypSammlung.DB" << 2 << "BCD" << QVariant(QStringLiteral("13.123457"))
                         << "13.123457";
    QTest::newRow("blob not loaded") << "pxlib-TypSammlung.DB" << 0 << "Binär" << QVariant() << "(blob)";
    QTest::newRow("alpha in code page 1252")
        << "pxlib-TypSammlung.DB" << 0 << "Alpha" << QVariant(QStringLiteral("AAA Irgendein Text"))
        << "AAA Irgendein Text";
    QTest::newRow("field name in code page 1252")
        << "pxlib-TypSammlung.DB" << 0 << "Währung" << QVariant(QStringLiteral("skip")) << "";
    QTest::newRow("autoincrement") << "pypdx-test.db" << 1 << "ID" << QVariant(2) << "2";
}

void TestParadoxTable::fixtureValues() {
    QFETCH(QString, file);
    QFETCH(int, row);
    QFETCH(QString, field);
    QFETCH(QVariant, expected);
    QFETCH(QString, shown);
    const QString folder = test::paradoxFixtures();
    if (folder.isEmpty())
        QSKIP("no Paradox fixtures here");
    ParadoxTable table;
    table.open(QDir(folder).filePath(file), ParadoxTable::Access::ReadOnly);
    const int f = table.fieldIndex(field);
    QVERIFY2(f >= 0, qPrintable(field));
    if (expected == QVariant(QStringLiteral("skip")))
        return;
    QCOMPARE(table.value(row, f), expected);
    QCOMPARE(table.displayText(table.record(row), f), shown);
}

void TestParadoxTable::fixtureEditsAreWrittenAndIndexKept_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("rowAfter");
    QTest::newRow("non-key field of a 16 KiB-block table")
        << "pdxdrv-tblsttes.DB" << 1 << "Capital" << QVariant(QStringLiteral("Mobile")) << 1;
    QTest::newRow("key edit moves the record") << "pdxdrv-GENERAL.DB" << 0 << "ID" << QVariant(10) << 1;
    QTest::newRow("date field") << "pdxdrv-tblsttes.DB" << 0 << "Date Admitted"
                                << QVariant(QDate(1960, 2, 29)) << 0;
    QTest::newRow("logical of an unkeyed table") << "pdxdrv-logical.db" << 1 << "BOOL" << QVariant(true) << 1;
    QTest::newRow("blanked currency, alpha key in international order")
        << "pxlib-TypSammlung.DB" << 0 << "Währung" << QVariant() << 0;
}

void TestParadoxTable::fixtureEditsAreWrittenAndIndexKept() {
    QFETCH(QString, file);
    QFETCH(int, row);
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(int, rowAfter);
    if (test::paradoxFixtures().isEmpty())
        QSKIP("no Paradox fixtures here");
    const QString path = test::copyFixtureTable(file, m_dir->path());
    QVERIFY(!path.isEmpty());
    ParadoxTable table;
    table.open(path);
    const int count = table.recordCount();
    const int f = table.fieldIndex(field);
    QByteArray r = table.record(row);
    QStringList before;
    for (int other = 0; other < table.fields().size(); ++other)
        before << table.displayText(r, other);
    table.encode(r, f, value);
    QCOMPARE(table.post(row, r), rowAfter);
    table.close();

    table.open(path, ParadoxTable::Access::ReadOnly);
    QCOMPARE(table.recordCount(), count);
    QCOMPARE(table.value(rowAfter, f), value);
    for (int other = 0; other < table.fields().size(); ++other)
        if (other != f)
            QCOMPARE(table.displayText(table.record(rowAfter), other), before[other]);
    if (table.keyFieldCount() > 0) {
        const QString px = ParadoxTable::indexPathFor(path);
        test::verifyKeyedFiles(path, px);
        QVERIFY(test::readWithPxlib(path, px).indexLoaded);
    }
}

void TestParadoxTable::restructureKeepsEveryRecord_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("own aperture-like table") << "own";
    QTest::newRow("keyed by alpha, ascii order, 16 KiB blocks") << "pdxdrv-tblsttes.DB";
    QTest::newRow("code page 936, china order") << "pdxdrv-GENERAL.DB";
    QTest::newRow("every type with memo and blob leaders") << "pxlib-TypSammlung.DB";
    QTest::newRow("unkeyed logical") << "pdxdrv-logical.db";
    QTest::newRow("keyed without its .PX") << "pypdx-test.db";
}

void TestParadoxTable::restructureKeepsEveryRecord() {
    QFETCH(QString, file);
    QString path;
    if (file == u"own") {
        path = makeTable(QStringLiteral("ApCtrl5kV.db"), QStringLiteral("AP-No:I;Low-Cur:L;C.L.:N"), 1,
                         {{0, true, 9.3}, {1, false, 1.0}, {2, true, 2.0}});
    } else {
        if (test::paradoxFixtures().isEmpty())
            QSKIP("no Paradox fixtures here");
        path = test::copyFixtureTable(file, m_dir->path());
    }
    QVERIFY(!path.isEmpty());
    const QString mb =
        QFileInfo(path).dir().filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".MB"));
    const QByteArray blobFile = test::fileBytes(mb);

    ParadoxTable table;
    table.open(path, ParadoxTable::Access::Exclusive);
    const int fields = int(table.fields().size());
    QList<QStringList> before;
    for (int row = 0; row < table.recordCount(); ++row) {
        QStringList shown;
        for (int f = 0; f < fields; ++f)
            shown << table.displayText(table.record(row), f);
        before << shown;
    }
    const QList<FieldDef> oldFields = table.fields();
    table.addField({QStringLiteral("Align1-ShiftX"), FieldType::Number, 8});
    table.close();

    table.open(path, ParadoxTable::Access::ReadOnly);
    QCOMPARE(table.fields().size(), fields + 1);
    QCOMPARE(table.fields().mid(0, fields), oldFields);
    QCOMPARE(table.fields().last().name, QStringLiteral("Align1-ShiftX"));
    QCOMPARE(table.recordCount(), before.size());
    for (int row = 0; row < table.recordCount(); ++row) {
        for (int f = 0; f < fields; ++f)
            QCOMPARE(table.displayText(table.record(row), f), before[row][f]);
        QVERIFY(table.value(row, fields).isNull());
    }
    QCOMPARE(test::fileBytes(mb), blobFile);
    const test::PxlibReading pxlib = test::readWithPxlib(path);
    QCOMPARE(pxlib.records.size(), before.size());
    if (table.keyFieldCount() > 0)
        test::verifyKeyedFiles(path, ParadoxTable::indexPathFor(path));
}

void TestParadoxTable::filesThatAreNotTablesAreRefused_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("G.DB"));
    ParadoxTable::create(path, fieldsOf(QStringLiteral("K:I;Name:A10")), 1);
    {
        ParadoxTable t;
        t.open(path);
        QList<QByteArray> rs;
        for (int i = 0; i < 200; ++i)
            rs << t.recordFrom({i, QStringLiteral("n%1").arg(i)});
        t.appendRecords(rs);
    }
    const QByteArray good = test::fileBytes(path);
    const int headerSize = test::rawLe16(good, 2);
    auto patched = [&](int at, QByteArray with) {
        QByteArray b = good;
        b.replace(at, with.size(), with);
        return b;
    };
    QTest::newRow("empty file") << QByteArray() << "too short";
    QTest::newRow("text file") << QByteArray("C.L. = 1.1 2.2\r\n").repeated(20) << "Not a Paradox table";
    QTest::newRow("cut inside the header") << good.left(0x100) << "header size";
    QTest::newRow("record size not its fields")
        << patched(0, QByteArray("\x20\x00", 2)) << "does not match its fields";
    QTest::newRow("block link out of the file")
        << patched(headerSize, QByteArray("\x40\x00", 2)) << "outside the file";
    QTest::newRow("block chain loops") << patched(headerSize, QByteArray("\x01\x00", 2)) << "loops";
    QTest::newRow("block claims too many records")
        << patched(headerSize + 4, QByteArray("\xF0\x7F", 2)) << "partial record";
    QTest::newRow("encrypted") << patched(0x5C, QByteArray("\x11\x22\x33\x44", 4)) << "encrypted";
    QTest::newRow("unknown field type") << patched(0x78, QByteArray("\x42", 1)) << "field 1";
    QTest::newRow("block size code") << patched(0x05, QByteArray("\x07", 1)) << "block size";
}

void TestParadoxTable::filesThatAreNotTablesAreRefused() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    ParadoxTable table;
    try {
        table.openBytes(bytes);
        QFAIL("opened");
    } catch (const DatabaseError& e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
    QVERIFY(!table.isOpen());
    // A file on disk is refused the same way and left alone.
    QFile file(m_dir->filePath(QStringLiteral("bad.db")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, table.open(file.fileName()));
    QCOMPARE(test::fileBytes(file.fileName()), bytes);
}

void TestParadoxTable::tablesWithSecondaryIndexesAreNotChanged() {
    const QString path = makeTable(QStringLiteral("S.DB"), QStringLiteral("K:I;V:N"), 1, {{1, 1.0}});
    QFile secondary(m_dir->filePath(QStringLiteral("S.X02")));
    QVERIFY(secondary.open(QIODevice::WriteOnly));
    secondary.close();
    const QByteArray db = test::fileBytes(path);
    ParadoxTable table;
    table.open(path);
    QByteArray r = table.record(0);
    table.encode(r, 1, 2.0);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, table.post(0, r));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, table.append(table.recordFrom({2, 2.0})));
    QCOMPARE(test::fileBytes(path), db);
}

// A timestamp field holding bytes no calendar can hold, as a damaged file or another
// program may leave them: the value reads as blank and shows as nothing.
void TestParadoxTable::damagedTimestampsReadAsBlank_data() {
    QTest::addColumn<double>("stored");
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity();
    QTest::newRow("minus infinite") << -std::numeric_limits<double>::infinity();
    QTest::newRow("beyond any date") << 1e300;
    QTest::newRow("before any date") << -1e300;
}

void TestParadoxTable::damagedTimestampsReadAsBlank() {
    QFETCH(double, stored);
    const QString path = makeTable(QStringLiteral("S.DB"), QStringLiteral("N:I;At:@"), 0, {{1, QVariant()}});
    ParadoxTable table;
    table.open(path);
    // The file's number layout: big-endian, sign bit flipped for a positive value and
    // every bit inverted for a negative one.
    quint64 bits = 0;
    std::memcpy(&bits, &stored, sizeof bits);
    bits = (bits >> 63) ? ~bits : bits | (quint64(1) << 63);
    QByteArray r = table.record(0);
    qToBigEndian(bits, r.data() + 4);
    table.post(0, r);
    QVERIFY(table.value(0, 1).isNull());
    QCOMPARE(table.displayText(table.record(0), 1), QString());
    QCOMPARE(table.value(0, 0), QVariant(1));
}

void TestParadoxTable::changesByAnotherProgramAreNotOverwritten() {
    const QString path =
        makeTable(QStringLiteral("C.DB"), QStringLiteral("K:I;V:N"), 1, {{1, 1.0}, {2, 2.0}});
    ParadoxTable mine;
    mine.open(path);
    {
        ParadoxTable other; // another program adds a record meanwhile
        other.open(path);
        other.append(other.recordFrom({3, 3.0}));
    }
    const QByteArray theirs = test::fileBytes(path);
    QByteArray r = mine.record(0);
    mine.encode(r, 1, 9.0);
    try {
        mine.post(0, r);
        QFAIL("posted over the other program's change");
    } catch (const DatabaseError& e) {
        QVERIFY(e.message().contains(QStringLiteral("changed by another program")));
    }
    QVERIFY_THROWS_EXCEPTION(DatabaseError, mine.append(mine.recordFrom({4, 4.0})));
    QCOMPARE(test::fileBytes(path), theirs);
    mine.open(path);
    QCOMPARE(mine.recordCount(), 3);
    QCOMPARE(mine.post(0, r), 0);
    QCOMPARE(mine.value(0, 1).toDouble(), 9.0);
}

QTEST_GUILESS_MAIN(TestParadoxTable)
#include "tst_paradoxtable.moc"
