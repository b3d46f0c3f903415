#include "dbmaint/DataFiles.h"
#include "dbmaint/DatabaseErrors.h"

#include <QtTest>
#include <cmath>

using namespace vantor;

using Cells = QList<QStringList>; // rows of "column:text" for the cells that must hold text
Q_DECLARE_METATYPE(Cells)

namespace {
// Every non-empty cell as "column,row=text".
QStringList filled(const CellGrid& grid) {
    QStringList out;
    for (int r = 0; r < grid.rows(); ++r)
        for (int c = 0; c < grid.columns(); ++c)
            if (!grid.cell(c, r).isEmpty())
                out << QStringLiteral("%1,%2=%3").arg(c).arg(r).arg(grid.cell(c, r));
    return out;
}
} // namespace

class TestDataFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void apertureFile_data();
    void apertureFile();
    void ionFile_data();
    void ionFile();
    void apertureValuesAreShownInEightCharacters_data();
    void apertureValuesAreShownInEightCharacters();
    void cellNumbers();
    void textFileLines();
};

void TestDataFiles::apertureFile_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("cells");
    QTest::newRow("item with equals sign, after two headers")
        << QStringList{"AP DATA", "item = 0 1", "C.L. = 1.1 2.2"}
        << QStringList{"0,1=C.L.", "1,1=1.1", "2,1=2.2"};
    QTest::newRow("Align2 lines dropped, Align1 kept")
        << QStringList{"h1", "h2", "Align2-ShiftX = 9 9", "Align1-ShiftX = 3 4", "Align2-TiltY 9"}
        << QStringList{"0,1=Align1-ShiftX", "1,1=3", "2,1=4"};
    QTest::newRow("blank lines do not count as headers or rows")
        << QStringList{"", "h1", "   ", "h2", "", "O.L.C = 5", "O.L.F   7  8"}
        << QStringList{"0,1=O.L.C", "1,1=5", "0,2=O.L.F", "1,2=7", "2,2=8"};
    QTest::newRow("only the first equals sign goes")
        << QStringList{"h1", "h2", "a=b=c"} << QStringList{"0,1=ab=c"};
    QTest::newRow("Align2 only at the first character")
        << QStringList{"h1", "h2", " Align2 1"} << QStringList{"0,1=Align2", "1,1=1"};
    QStringList many{"h1", "h2"};
    QString longLine = QStringLiteral("X");
    for (int i = 0; i < 20; ++i)
        longLine += QStringLiteral(" %1").arg(i);
    many << longLine;
    QStringList cells{"0,1=X"};
    for (int i = 0; i < 15; ++i)
        cells << QStringLiteral("%1,1=%2").arg(i + 1).arg(i);
    QTest::newRow("at most sixteen tokens") << many << cells;
    QTest::newRow("headers only") << QStringList{"h1", "h2"} << QStringList{};
}

void TestDataFiles::apertureFile() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, cells);
    CellGrid grid(16, 17);
    ParseApDataFile(lines, grid);
    QStringList got = filled(grid);
    got.sort();
    cells.sort();
    QCOMPARE(got, cells);
}

void TestDataFiles::ionFile_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QString>("error");
    QTest::newRow("two data lines") << QStringList{"2", "  1 2 3", "4  5"}
                                    << QStringList{"1,1=1", "2,1=2", "3,1=3", "1,2=4", "2,2=5"} << "";
    QTest::newRow("first line 0 leaves the grid") << QStringList{"0", "1 2"} << QStringList{"5,5=old"} << "";
    QTest::newRow("negative count leaves the grid") << QStringList{"-3"} << QStringList{"5,5=old"} << "";
    QTest::newRow("more than seven values fill more columns")
        << QStringList{"1", "1 2 3 4 5 6 7 8 9"}
        << QStringList{"1,1=1", "2,1=2", "3,1=3", "4,1=4", "5,1=5", "6,1=6", "7,1=7", "8,1=8", "9,1=9"} << "";
    QTest::newRow("fewer lines than announced")
        << QStringList{"3", "1 2"} << QStringList{"1,1=1", "2,1=2", "5,5=old"}
        << "List index out of bounds (2)";
    QTest::newRow("count not an integer")
        << QStringList{"two", "1"} << QStringList{"5,5=old"} << "'two' is not a valid integer value";
    QTest::newRow("empty file") << QStringList{} << QStringList{"5,5=old"} << "List index out of bounds (0)";
}

void TestDataFiles::ionFile() {
    QFETCH(QStringList, lines);
    QFETCH(QStringList, cells);
    QFETCH(QString, error);
    CellGrid grid(16, 17);
    grid.setCell(5, 5, QStringLiteral("old"));
    QString thrown;
    try {
        ParseIonDataFile(lines, grid);
    } catch (const Error& e) {
        thrown = e.message();
    }
    QCOMPARE(thrown, error);
    if (!cells.contains(QStringLiteral("5,5=old")) && grid.cell(5, 5) == u"old")
        grid.setCell(5, 5, {});
    QStringList got = filled(grid);
    got.sort();
    cells.sort();
    QCOMPARE(got, cells);
}

void TestDataFiles::apertureValuesAreShownInEightCharacters_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("99.5 has three decimals") << 99.5 << "  99.500";
    QTest::newRow("100 has two") << 100.0 << "  100.00";
    QTest::newRow("99.9996 rounds up but keeps three") << 99.9996 << " 100.000";
    QTest::newRow("negative") << -150.0 << "-150.000";
    QTest::newRow("AP-X address") << 12500.0 << "12500.00";
    QTest::newRow("no such aperture") << std::nan("") << "";
}

void TestDataFiles::apertureValuesAreShownInEightCharacters() {
    QFETCH(double, value);
    QFETCH(QString, shown);
    QCOMPARE(formatApValue(value), shown);
}

void TestDataFiles::cellNumbers() {
    QCOMPARE(cellNumber(QStringLiteral(" 1.5 ")), 1.5);
    QCOMPARE(cellNumber(QStringLiteral("-2e3")), -2000.0);
    for (const QString& bad : {QStringLiteral(""), QStringLiteral("1,5"), QStringLiteral("abc")}) {
        try {
            cellNumber(bad);
            QFAIL("converted");
        } catch (const ConversionError& e) {
            QCOMPARE(e.message(), QStringLiteral("'%1' is not a valid floating point value").arg(bad));
        }
    }
}

void TestDataFiles::textFileLines() {
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("ap.txt")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("h1\r\nh2\r\nC.L. = 1.1\r\n\r\nlast");
    f.close();
    QCOMPARE(readTextLines(f.fileName()), (QStringList{"h1", "h2", "C.L. = 1.1", "", "last"}));
    QVERIFY_THROWS_EXCEPTION(FileError, readTextLines(dir.filePath(QStringLiteral("missing.txt"))));
}

QTEST_GUILESS_MAIN(TestDataFiles)
#include "tst_datafiles.moc"
