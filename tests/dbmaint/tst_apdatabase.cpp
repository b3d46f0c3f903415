#include "ParadoxCheck.h"
#include "dbmaint/DatabaseAliases.h"
#include "dbmaint/DatabaseErrors.h"
#include "dbmaint/TApDataBase.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <functional>

using namespace vantor;
using paradox::FieldDef;
using paradox::FieldType;

namespace {

// The alias folders of one test: QelDataBase and DaxDataBase name folders in a temporary
// folder while the object lives.
class AliasFolders final {
public:
    AliasFolders(bool qel, bool dax) {
        QDir(m_root.path()).mkpath(QStringLiteral("qel"));
        QDir(m_root.path()).mkpath(QStringLiteral("dax"));
        qunsetenv("QelDataBase");
        qunsetenv("DaxDataBase");
        if (qel)
            qputenv("QelDataBase", QFile::encodeName(qelFolder()));
        if (dax)
            qputenv("DaxDataBase", QFile::encodeName(daxFolder()));
    }
    ~AliasFolders() {
        qunsetenv("QelDataBase");
        qunsetenv("DaxDataBase");
    }
    QString qelFolder() const { return m_root.filePath(QStringLiteral("qel")); }
    QString daxFolder() const { return m_root.filePath(QStringLiteral("dax")); }
    QString root() const { return m_root.path(); }

private:
    QTemporaryDir m_root;
};

// Reads one table back from its files: every record's values by field name.
QList<QVariantMap> readBack(const QString& path, QStringList* fieldNames = nullptr) {
    ParadoxTable table;
    table.open(path, ParadoxTable::Access::ReadOnly);
    QList<QVariantMap> rows;
    for (int row = 0; row < table.recordCount(); ++row) {
        QVariantMap values;
        for (int f = 0; f < table.fields().size(); ++f)
            values.insert(table.fields()[f].name, table.value(row, f));
        rows << values;
    }
    if (fieldNames) {
        fieldNames->clear();
        for (const FieldDef& f : table.fields())
            *fieldNames << f.name;
    }
    return rows;
}

QVariantMap expectedRecord(int apNo, bool low, double probe, double beam, double accV, double ibm, double apX,
                           bool qel) {
    QVariantMap m{{"AP-No", apNo},         {"Low-Cur", low}, {"C.L.", 9.3},           {"O.L.C", 9.3},
                  {"O.L.F", 5.0},          {"O.L.S.F", 5.0}, {"ProbeCurrent", probe}, {"Beam Size", beam},
                  {"AccV", accV},          {"Ibm", ibm},     {"FilW", 1.0},           {"AP-X address", apX},
                  {"AP-Y address", 2500.0}};
    for (const char* f :
         {"StigmaX", "StigmaY", "ShiftX", "ShiftY", "AlignX", "AlignY", "Contrast", "Brightness"})
        m.insert(QLatin1String(f), 0.0);
    if (qel)
        for (int i = 21; i < 29; ++i)
            m.insert(TApDataBase::fieldNames()[i], 0.0);
    return m;
}

void compareRecord(const QVariantMap& got, const QVariantMap& want, const QString& where) {
    QCOMPARE(got.keys().size(), want.keys().size());
    for (auto it = want.cbegin(); it != want.cend(); ++it) {
        const QVariant g = got.value(it.key());
        const bool same = it.value().typeId() == QMetaType::Bool
                              ? g == it.value()
                              : qFuzzyCompare(g.toDouble() + 1, it.value().toDouble() + 1);
        QVERIFY2(same, qPrintable(QStringLiteral("%1 %2: got %3 want %4")
                                      .arg(where, it.key(), g.toString(), it.value().toString())));
    }
}

void verifyTableFiles(const QString& path) {
    test::verifyKeyedFiles(path, ParadoxTable::indexPathFor(path));
    const test::PxlibReading pxlib = test::readWithPxlib(path, ParadoxTable::indexPathFor(path));
    QVERIFY(pxlib.opened);
    QVERIFY(pxlib.indexLoaded);
}

// An aperture table as an older program version left it: fields 0 to 20 only, with the
// records `values` gives for the apertures `apertures`.
void createOldApertureTable(const QString& path, const QList<int>& apertures,
                            const std::function<QVariantList(int)>& values) {
    QList<FieldDef> fields;
    for (int i = 0; i < 21; ++i) {
        const FieldType type = i == 0 ? FieldType::Long : i == 1 ? FieldType::Logical : FieldType::Number;
        fields << FieldDef{TApDataBase::fieldNames()[i], type, i == 0 ? 4 : i == 1 ? 1 : 8};
    }
    ParadoxTable::create(path, fields, 1);
    ParadoxTable table;
    table.open(path);
    QList<QByteArray> records;
    for (int n : apertures)
        records << table.recordFrom(values(n));
    table.appendRecords(records);
}

} // namespace

class TestApDataBase : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aliases_data();
    void aliases();
    void qelTablesFromNothing();
    void daxTablesFromNothing();
    void qelTableOfTwelveGainsAlignFieldsAndRecords();
    void daxTableOfTenGainsRecords();
    void bothAliasesEndWithTheQelOne();
    void readAndWriteByApertureNumber();
    void unreadableTableIsReportedNotReplaced();
    void restructureMessages();
};

void TestApDataBase::aliases_data() {
    QTest::addColumn<QString>("environment"); // "" unset, "dir" an existing folder, "missing"
    QTest::addColumn<QString>("ini");         // the [Aliases] entry, "" none
    QTest::addColumn<bool>("defined");
    QTest::newRow("variable names a folder") << "dir"
                                             << "" << true;
    QTest::newRow("variable names no folder") << "missing"
                                              << "" << false;
    QTest::newRow("Aliases.ini, relative folder") << ""
                                                  << "Tables" << true;
    QTest::newRow("Aliases.ini, missing folder") << ""
                                                 << "Nowhere" << false;
    QTest::newRow("variable wins over Aliases.ini") << "dir"
                                                    << "Nowhere" << true;
    QTest::newRow("neither") << ""
                             << "" << false;
}

void TestApDataBase::aliases() {
    QFETCH(QString, environment);
    QFETCH(QString, ini);
    QFETCH(bool, defined);
    QTemporaryDir data;
    QDir(data.path()).mkpath(QStringLiteral("Tables"));
    qunsetenv("QelDataBase");
    if (environment == u"dir")
        qputenv("QelDataBase", QFile::encodeName(data.filePath(QStringLiteral("Tables"))));
    else if (environment == u"missing")
        qputenv("QelDataBase", QFile::encodeName(data.filePath(QStringLiteral("gone"))));
    if (!ini.isEmpty()) {
        QFile f(data.filePath(QStringLiteral("Aliases.ini")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Aliases]\r\nQelDataBase=" + ini.toUtf8() + "\r\n");
    }
    const DatabaseAliases aliases(data.path());
    QCOMPARE(aliases.isDefined(QStringLiteral("QelDataBase")), defined);
    QCOMPARE(aliases.isDefined(QStringLiteral("DaxDataBase")), false);
    if (defined)
        QCOMPARE(QDir(aliases.folder(QStringLiteral("QelDataBase"))),
                 QDir(data.filePath(QStringLiteral("Tables"))));
    qunsetenv("QelDataBase");
}

void TestApDataBase::qelTablesFromNothing() {
    AliasFolders folders(true, false);
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    QVERIFY2(db.preparationErrors().isEmpty(), qPrintable(db.preparationErrors().join('\n')));
    QCOMPARE(int(db.family()), 1);
    const double accV[] = {5, 10, 15, 20, 25, 30};
    for (int t = 0; t < 6; ++t) {
        const QString path = QDir(folders.qelFolder()).filePath(TApDataBase::tableNames()[t]);
        QStringList names;
        const QList<QVariantMap> rows = readBack(path, &names);
        QCOMPARE(names, TApDataBase::fieldNames());
        QCOMPARE(rows.size(), 20);
        for (int n = 0; n < 20; ++n)
            compareRecord(rows[n], expectedRecord(n, true, 1.0, 4.0, accV[t], 0.6, 12500.0, true),
                          QStringLiteral("%1 AP %2").arg(names.size()).arg(n));
        verifyTableFiles(path);
    }
    QVERIFY(QDir(folders.daxFolder()).isEmpty());
}

void TestApDataBase::daxTablesFromNothing() {
    AliasFolders folders(false, true);
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    QVERIFY2(db.preparationErrors().isEmpty(), qPrintable(db.preparationErrors().join('\n')));
    QCOMPARE(int(db.family()), 2);
    struct Row {
        bool low;
        double probe, beam, ibm, apX;
    };
    const Row initial[] = {
        {false, 3000, 500, 0.8, 0},  {true, 500, 500, 0.6, 0},    {false, 1000, 100, 0.8, 5000},
        {true, 70, 500, 0.6, 5000},  {false, 300, 50, 0.8, 7500}, {true, 20, 50, 0.6, 7500},
        {false, 80, 10, 0.8, 10000}, {true, 15, 10, 0.6, 10000},  {false, 5, 4, 0.8, 12500}};
    for (const QString& table : TApDataBase::tableNames()) {
        const QString path = QDir(folders.daxFolder()).filePath(table);
        QStringList names;
        const QList<QVariantMap> rows = readBack(path, &names);
        QCOMPARE(names, TApDataBase::fieldNames().mid(0, 21));
        QCOMPARE(rows.size(), 15);
        for (int n = 0; n < 15; ++n) {
            const Row r = n < 9 ? initial[n] : Row{true, 1, 4, 0.6, 12500};
            compareRecord(rows[n], expectedRecord(n, r.low, r.probe, r.beam, 30.0, r.ibm, r.apX, false),
                          QStringLiteral("%1 AP %2").arg(table).arg(n));
        }
        verifyTableFiles(path);
    }
}

void TestApDataBase::qelTableOfTwelveGainsAlignFieldsAndRecords() {
    AliasFolders folders(true, false);
    // An older table: fields 0 to 20 only, twelve apertures with values of their own.
    const QString path = QDir(folders.qelFolder()).filePath(QStringLiteral("ApCtrl15kV.db"));
    createOldApertureTable(path, {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, [](int n) {
        QVariantList v{n, n % 2 == 0};
        for (int f = 2; f < 21; ++f)
            v << n * 100.0 + f;
        return v;
    });
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    QVERIFY2(db.preparationErrors().isEmpty(), qPrintable(db.preparationErrors().join('\n')));

    QStringList names;
    const QList<QVariantMap> rows = readBack(path, &names);
    QCOMPARE(names, TApDataBase::fieldNames());
    QCOMPARE(rows.size(), 20);
    for (int n = 0; n < 12; ++n) {
        QCOMPARE(rows[n].value("AP-No").toInt(), n);
        QCOMPARE(rows[n].value("Low-Cur").toBool(), n % 2 == 0);
        for (int f = 2; f < 21; ++f)
            QCOMPARE(rows[n].value(TApDataBase::fieldNames()[f]).toDouble(), n * 100.0 + f);
        for (int f = 21; f < 29; ++f) {
            QVERIFY(!rows[n].value(TApDataBase::fieldNames()[f]).isNull());
            QCOMPARE(rows[n].value(TApDataBase::fieldNames()[f]).toDouble(), 0.0);
        }
    }
    for (int n = 12; n < 20; ++n)
        compareRecord(rows[n], expectedRecord(n, true, 1.0, 4.0, 15.0, 0.6, 12500.0, true),
                      QStringLiteral("AP %1").arg(n));
    verifyTableFiles(path);
}

void TestApDataBase::daxTableOfTenGainsRecords() {
    AliasFolders folders(false, true);
    const QString path = QDir(folders.daxFolder()).filePath(QStringLiteral("ApCtrl5kV.db"));
    createOldApertureTable(path, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, [](int n) {
        QVariantList v{n};
        for (int f = 1; f < 14; ++f)
            v << QVariant();
        v << 77.0; // ProbeCurrent
        return v;
    });
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    QStringList names;
    const QList<QVariantMap> rows = readBack(path, &names);
    QCOMPARE(names.size(), 21); // no field is ever added to a DAX table
    QCOMPARE(rows.size(), 15);
    for (int n = 0; n < 10; ++n)
        QCOMPARE(rows[n].value("ProbeCurrent").toDouble(), 77.0);
    for (int n = 10; n < 15; ++n)
        compareRecord(rows[n], expectedRecord(n, true, 1.0, 4.0, 30.0, 0.6, 12500.0, false),
                      QStringLiteral("AP %1").arg(n));
    verifyTableFiles(path);
}

void TestApDataBase::bothAliasesEndWithTheQelOne() {
    AliasFolders folders(true, true);
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    QCOMPARE(int(db.family()), 1);
    QCOMPARE(db.databaseName(), QStringLiteral("QelDataBase"));
    QCOMPARE(QDir(folders.qelFolder()).entryList({"*.db"}, QDir::Files).size(), 6);
    QCOMPARE(QDir(folders.daxFolder()).entryList({"*.db"}, QDir::Files).size(), 6);
    QVERIFY(!db.active());
}

void TestApDataBase::readAndWriteByApertureNumber() {
    AliasFolders folders(true, false);
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    db.SelectApTable(2);
    QCOMPARE(db.tableName(), QStringLiteral("ApCtrl15kV.db"));
    db.SelectApTable(6);
    QCOMPARE(db.tableName(), QStringLiteral("ApCtrl15kV.db"));
    db.WriteApValue(QStringLiteral("ProbeCurrent"), 3, 42.5);
    QVERIFY(!db.active());
    QCOMPARE(db.ReadApValue(QStringLiteral("ProbeCurrent"), 3), 42.5);
    const QString path = QDir(folders.qelFolder()).filePath(QStringLiteral("ApCtrl15kV.db"));
    QCOMPARE(readBack(path)[3].value("ProbeCurrent").toDouble(), 42.5);
    QCOMPARE(readBack(path)[2].value("ProbeCurrent").toDouble(), 1.0);

    const QByteArray before = test::fileBytes(path);
    try {
        db.WriteApValue(QStringLiteral("ProbeCurrent"), 25, 1.0);
        QFAIL("written");
    } catch (const DatabaseError& e) {
        QCOMPARE(e.message(),
                 QStringLiteral("Aperture 25 is not in table \"ApCtrl15kV.db\"; nothing was written"));
    }
    QCOMPARE(test::fileBytes(path), before);
    QVERIFY(std::isnan(db.ReadApValue(QStringLiteral("ProbeCurrent"), 25)));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, db.ReadApValue(QStringLiteral("No Such Field"), 1));
    QVERIFY(!db.active());
}

void TestApDataBase::unreadableTableIsReportedNotReplaced() {
    AliasFolders folders(true, false);
    QFile damaged(QDir(folders.qelFolder()).filePath(QStringLiteral("ApCtrl5kV.db")));
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(300, 'x'));
    damaged.close();
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    QCOMPARE(db.preparationErrors().size(), 1);
    QVERIFY(db.preparationErrors().first().startsWith(
        QStringLiteral("ApCtrl5kV.db (QelDataBase): Cannot open table")));
    QCOMPARE(test::fileBytes(damaged.fileName()), QByteArray(300, 'x'));
    QCOMPARE(readBack(QDir(folders.qelFolder()).filePath(QStringLiteral("ApCtrl10kV.db"))).size(), 20);
}

void TestApDataBase::restructureMessages() {
    AliasFolders folders(true, false);
    const DatabaseAliases aliases;
    TApDataBase db(&aliases);
    db.SelectApTable(0);
    db.open();
    db.AddTableField({QStringLiteral("Extra"), 5});
    QVERIFY(db.active()); // reopened as it was
    QVERIFY(!db.exclusive());
    QCOMPARE(db.table().fields().last().name, QStringLiteral("Extra"));
    QCOMPARE(db.recordCount(), 20);
    try {
        db.AddTableField({QStringLiteral("Extra"), 7});
        QFAIL("added twice");
    } catch (const DatabaseError& e) {
        QVERIFY(e.message().contains(QStringLiteral("already used")));
    }
    db.close();
    // A read-only table cannot be opened exclusively.
    const QString path = QDir(folders.qelFolder()).filePath(QStringLiteral("ApCtrl5kV.db"));
    QFile::setPermissions(path, QFile::ReadOwner);
    if (!QFileInfo(path).isWritable()) { // not when running with rights that ignore permissions
        QVERIFY_THROWS_EXCEPTION(DatabaseError, db.AddTableField({QStringLiteral("Other"), 7}));
        QVERIFY(!db.active());
    }
}

QTEST_GUILESS_MAIN(TestApDataBase)
#include "tst_apdatabase.moc"
