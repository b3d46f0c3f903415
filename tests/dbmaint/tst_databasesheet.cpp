#include "ParadoxCheck.h"
#include "ParadoxFixtures.h"
#include "app/FormInstall.h"
#include "common/InstrumentFolders.h"
#include "common/ScriptedPrompter.h"
#include "dbmaint/DatabaseSheet.h"
#include "dbmaint/TApDataBase.h"
#include "dbmaint/TableGridModel.h"
#include "support/Guard.h"
#include "support/TQelBtn.h"

#include <QComboBox>
#include <QLabel>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QtTest>

using namespace vantor;
using paradox::FieldDef;
using paradox::FieldType;

namespace {

// The main window on an instrument PC whose QelDataBase alias names a folder of its own.
struct Window {
    test::InstrumentFolders folders;
    QString tables;
    std::unique_ptr<TFormInstall> form;
    DatabaseSheet* sheet = nullptr;

    explicit Window(const std::function<void(const QString&)>& beforeStart = {}) {
        tables = folders.root() + QStringLiteral("/QelDataBase");
        QDir().mkpath(tables);
        qputenv("QelDataBase", QFile::encodeName(tables));
        qunsetenv("DaxDataBase");
        if (beforeStart)
            beforeStart(tables);
        form = std::make_unique<TFormInstall>();
        sheet = form->databaseSheet();
    }
    ~Window() {
        form.reset();
        qunsetenv("QelDataBase");
    }
    void showTab(QWidget* tab) {
        form->setSheetTabVisible(form->ShtDBMainte, true);
        form->PageFTPCtrl->setCurrentWidget(form->ShtDBMainte);
        if (form->PageDB->currentWidget() == tab)
            guarded([this] { sheet->PageDBChange(); }); // as showing the sheet did already
        else
            form->PageDB->setCurrentWidget(tab);
    }
    QString table(const QString& name) const { return QDir(tables).filePath(name); }
};

QString apCell(const DatabaseSheet& sheet, int row, int apNo) {
    return sheet.GridApCtrl->item(row, apNo + 1)->text();
}

QVariant valueIn(const QString& path, int row, const QString& field) {
    ParadoxTable table;
    table.open(path, ParadoxTable::Access::ReadOnly);
    return table.value(row, table.fieldIndex(field));
}

QString writeFile(const QString& path, const QByteArray& content) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A VME aperture data file: two headers, then rows 1 to 16 with values for apertures 0
// to 14; the value of row r, aperture n is r + n / 100.
QByteArray apertureFile() {
    QByteArray text = "AP-DATA  2024/01/01\r\nITEM = 0 1 2 3 4 5 6 7 8 9 10 11 12 13 14\r\n";
    const QStringList items{"C.L.",     "O.L.C",  "O.L.F",  "O.L.S.F", "StigmaX",  "StigmaY",
                            "ShiftX",   "ShiftY", "AlignX", "AlignY",  "Contrast", "Brightness",
                            "BeamSize", "Probe",  "AP-X",   "AP-Y"};
    for (int r = 1; r <= 16; ++r) {
        text += items[r - 1].toLatin1() + " =";
        for (int n = 0; n < 15; ++n)
            text += " " + QByteArray::number(r + n / 100.0);
        text += "\r\n";
        if (r == 8)
            text += "Align2-ShiftX = 9 9 9\r\n\r\n";
    }
    return text;
}

void createIonWorkTime(const QString& path) {
    QList<FieldDef> fields{{QStringLiteral("No"), FieldType::Long, 4}};
    for (const char* name : {"Vext", "Iext", "Vsup", "Isup", "Heat", "Emission"})
        fields.append({QLatin1String(name), FieldType::Number, 8});
    fields.append({QStringLiteral("Date"), FieldType::Date, 4});
    ParadoxTable::create(path, fields, 0);
}

} // namespace

class TestDatabaseSheet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { m_prompts.prompter.clear(); }
    void startUpPreparesTablesAndFillsTheApertureTab();
    void valuesShowWithTheirPrecision_data();
    void valuesShowWithTheirPrecision();
    void vmeFileIsReadAndCopiedIntoTheTable();
    void copyStopsAtACellThatIsNoNumber();
    void ionFileIsAppendedToIonWorkTime();
    void ionTabWithoutItsTableSaysSo();
    void databaseTabEditsAFixtureAndOpensItAgain();
    void fileThatIsNoTableLeavesTheGridAsItWas();
    void gridOverALargeTableAnswersAtOnce();

private:
    test::PrompterScope m_prompts;
};

void TestDatabaseSheet::startUpPreparesTablesAndFillsTheApertureTab() {
    Window w;
    QCOMPARE(QDir(w.tables).entryList({"*.db"}, QDir::Files).size(), 6);
    QVERIFY(w.form->apDataBase());
    QCOMPARE(w.sheet->ComboBoxDB->count(), 6);
    QCOMPARE(w.sheet->ComboBoxDB->itemText(0), QStringLiteral("ApCtrl5kV.db"));
    QCOMPARE(w.sheet->ComboBoxDB->currentText(), QStringLiteral("ApOpticsCtrl.db"));
    QCOMPARE(w.sheet->GridApCtrl->item(0, 0)->text(), QStringLiteral("AP-No"));
    QCOMPARE(w.sheet->GridApCtrl->item(1, 0)->text(), QStringLiteral("C.L."));
    QCOMPARE(w.sheet->GridApCtrl->item(14, 0)->text(), QStringLiteral("Beam Size"));
    QCOMPARE(w.sheet->GridApCtrl->item(15, 0)->text(), QStringLiteral("AP-X address"));
    QCOMPARE(w.sheet->GridApCtrl->item(16, 0)->text(), QStringLiteral("AP-Y address"));
    QCOMPARE(w.sheet->GridApData->item(0, 15)->text(), QStringLiteral("14"));
    QCOMPARE(w.sheet->GridApCtrl->columnWidth(0), 140);
    QCOMPARE(w.sheet->GridApCtrl->columnWidth(1), 90);
    QVERIFY(m_prompts.prompter.texts("error").isEmpty());

    // Showing the sheet shows the selected table; choosing another table shows that one.
    QVERIFY(apCell(*w.sheet, 1, 0).isEmpty());
    w.showTab(w.form->TabDBAp);
    QCOMPARE(apCell(*w.sheet, 1, 0), QStringLiteral("   9.300"));
    QCOMPARE(apCell(*w.sheet, 15, 14), QStringLiteral("12500.00"));
    QCOMPARE(apCell(*w.sheet, 16, 14), QStringLiteral(" 2500.00"));
    QVERIFY(w.form->apDataBase()->active());
    w.form->PageDB->setCurrentWidget(w.form->TabDBOption);
    QVERIFY(!w.form->apDataBase()->active());
}

void TestDatabaseSheet::valuesShowWithTheirPrecision_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown");
    QTest::newRow("99.5") << 99.5 << "  99.500";
    QTest::newRow("100") << 100.0 << "  100.00";
    QTest::newRow("negative") << -0.125 << "  -0.125";
}

void TestDatabaseSheet::valuesShowWithTheirPrecision() {
    QFETCH(double, value);
    QFETCH(QString, shown);
    Window w;
    w.form->apDataBase()->SelectApTable(0);
    w.form->apDataBase()->WriteApValue(QStringLiteral("Contrast"), 4, value);
    w.sheet->ComboBoxDB->setCurrentIndex(0);
    w.showTab(w.form->TabDBAp);
    QCOMPARE(apCell(*w.sheet, 11, 4), shown); // Contrast is field 12, row 11
    QCOMPARE(apCell(*w.sheet, 11, 3), QStringLiteral("   0.000"));
}

void TestDatabaseSheet::vmeFileIsReadAndCopiedIntoTheTable() {
    Window w;
    w.showTab(w.form->TabDBAp);
    const QString file = writeFile(w.folders.root() + QStringLiteral("/ap.dat"), apertureFile());
    m_prompts.prompter.paths.enqueue(file);
    w.sheet->BtnReadAPData->click();
    QVERIFY(!w.sheet->BtnReadAPData->isChecked());
    QCOMPARE(w.sheet->GridApData->item(1, 0)->text(), QStringLiteral("C.L."));
    QCOMPARE(w.sheet->GridApData->item(1, 1)->text(), QStringLiteral("1"));
    QCOMPARE(w.sheet->GridApData->item(8, 0)->text(), QStringLiteral("ShiftY"));
    QCOMPARE(w.sheet->GridApData->item(9, 0)->text(), QStringLiteral("AlignX")); // the Align2 line is gone
    QCOMPARE(w.sheet->GridApData->item(16, 15)->text(), QStringLiteral("16.14"));

    w.sheet->BtnCopyToDB->click();
    QVERIFY(!w.sheet->BtnCopyToDB->isChecked());
    QVERIFY2(m_prompts.prompter.texts("error").isEmpty(),
             qPrintable(m_prompts.prompter.texts("error").join('\n')));
    const QString path = w.table(QStringLiteral("ApOpticsCtrl.db"));
    const QStringList& fields = TApDataBase::fieldNames();
    for (int n = 0; n < 10; ++n) {
        for (int row = 1; row <= 12; ++row)
            QCOMPARE(valueIn(path, n, fields[row + 1]).toDouble(), row + n / 100.0);
        QCOMPARE(valueIn(path, n, "ProbeCurrent").toDouble(), 14 + n / 100.0);
        QCOMPARE(valueIn(path, n, "AP-X address").toDouble(), (15 + n / 100.0) * 1000.0);
        QCOMPARE(valueIn(path, n, "AP-Y address").toDouble(), 16 + n / 100.0);
        QCOMPARE(valueIn(path, n, "Beam Size").toDouble(), 4.0); // row 13 is not copied
    }
    for (int n = 10; n < 20; ++n)
        QCOMPARE(valueIn(path, n, "C.L.").toDouble(), 9.3);
    QCOMPARE(apCell(*w.sheet, 1, 9), QStringLiteral("   1.090"));
    QCOMPARE(apCell(*w.sheet, 15, 0), QStringLiteral("15000.00"));
    test::verifyKeyedFiles(path, ParadoxTable::indexPathFor(path));
}

void TestDatabaseSheet::copyStopsAtACellThatIsNoNumber() {
    Window w;
    w.showTab(w.form->TabDBAp);
    m_prompts.prompter.paths.enqueue(writeFile(w.folders.root() + QStringLiteral("/ap.dat"), apertureFile()));
    w.sheet->BtnReadAPData->click();
    w.sheet->GridApData->item(3, 3)->setText(QStringLiteral("abc")); // O.L.F of aperture 2
    w.sheet->BtnCopyToDB->click();
    QCOMPARE(m_prompts.prompter.texts("error"), QStringList{"'abc' is not a valid floating point value"});
    QVERIFY(!w.sheet->BtnCopyToDB->isChecked());
    const QString path = w.table(QStringLiteral("ApOpticsCtrl.db"));
    QCOMPARE(valueIn(path, 1, "AP-Y address").toDouble(), 16.01); // aperture 1 complete
    QCOMPARE(valueIn(path, 2, "O.L.C").toDouble(), 2.02);         // aperture 2 up to the fault
    QCOMPARE(valueIn(path, 2, "O.L.F").toDouble(), 5.0);
    QCOMPARE(valueIn(path, 3, "C.L.").toDouble(), 9.3);
    QCOMPARE(apCell(*w.sheet, 2, 2), QStringLiteral("   2.020")); // the grid shows what was written
}

void TestDatabaseSheet::ionFileIsAppendedToIonWorkTime() {
    Window w([](const QString& tables) {
        createIonWorkTime(QDir(tables).filePath(QStringLiteral("IonWorkTime.db")));
    });
    w.showTab(w.form->TabDBIon);
    QVERIFY(w.sheet->TableIon().active());
    QVERIFY(!w.form->apDataBase()->active());
    const QString file =
        writeFile(w.folders.root() + QStringLiteral("/ion.dat"),
                  "3\r\n 1.5 2 3 4 5 6 2024/01/31 extra\r\n7 8 9 10 11 12 2024-02-01\r\n\r\n");
    m_prompts.prompter.paths.enqueue(file);
    w.sheet->BtnReadIonData->click();
    QCOMPARE(w.sheet->GridIonData->item(1, 8)->text(), QStringLiteral("extra"));
    QCOMPARE(w.sheet->GridIonData->item(3, 1)->text(), QString());
    QVERIFY2(m_prompts.prompter.texts("error").isEmpty(),
             qPrintable(m_prompts.prompter.texts("error").join('\n')));

    w.sheet->BtnCopyIonData->click();
    QVERIFY2(m_prompts.prompter.texts("error").isEmpty(),
             qPrintable(m_prompts.prompter.texts("error").join('\n')));
    const QString path = w.table(QStringLiteral("IonWorkTime.db"));
    ParadoxTable table;
    table.open(path, ParadoxTable::Access::ReadOnly);
    QCOMPARE(table.recordCount(), 2);
    QCOMPARE(table.value(0, 0).toInt(), 1);
    QCOMPARE(table.value(0, 1).toDouble(), 1.5);
    QCOMPARE(table.value(0, 7).toDate(), QDate(2024, 1, 31));
    QCOMPARE(table.value(1, 0).toInt(), 2);
    QCOMPARE(table.value(1, 6).toDouble(), 12.0);
    QCOMPARE(w.sheet->DBGridIon->model()->rowCount(), 2);

    // A value that does not fit stops the copy; the rows before stay.
    w.sheet->GridIonData->item(2, 3)->setText(QStringLiteral("x"));
    w.sheet->BtnCopyIonData->click();
    QCOMPARE(m_prompts.prompter.texts("error"), QStringList{"'x' is not a valid floating point value"});
    table.open(path, ParadoxTable::Access::ReadOnly);
    QCOMPARE(table.recordCount(), 3);
    QVERIFY(!w.sheet->BtnCopyIonData->isChecked());
}

void TestDatabaseSheet::ionTabWithoutItsTableSaysSo() {
    Window w;
    w.showTab(w.form->TabDBIon);
    QCOMPARE(m_prompts.prompter.texts("error").size(), 1);
    QVERIFY(m_prompts.prompter.texts("error").first().contains(QStringLiteral("IonWorkTime.db")));
    QCOMPARE(w.sheet->DBGridIon->model()->rowCount(), 0);
    w.sheet->BtnCopyIonData->click(); // an empty grid adds nothing, and nothing is open
    QCOMPARE(m_prompts.prompter.texts("error").size(), 1);
}

void TestDatabaseSheet::databaseTabEditsAFixtureAndOpensItAgain() {
    if (test::paradoxFixtures().isEmpty())
        QSKIP("no Paradox fixtures here");
    Window w;
    const QString path = test::copyFixtureTable(QStringLiteral("pdxdrv-tblsttes.DB"), w.folders.root());
    w.showTab(w.form->TabDBOption);
    QVERIFY(!w.sheet->DBGrid1->isVisibleTo(w.form.get()));
    m_prompts.prompter.paths.enqueue(path);
    w.sheet->BtnSelDB->click();
    QVERIFY(w.sheet->BtnDBMainteShow->isChecked());
    QVERIFY(w.sheet->DBGrid1->isVisibleTo(w.form.get()));
    QCOMPARE(w.sheet->LblDBMainte->text(), path);
    QAbstractItemModel* model = w.sheet->DBGrid1->model();
    QCOMPARE(model->rowCount(), 58);
    QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Capital"));
    QCOMPARE(model->index(1, 3).data().toString(), QStringLiteral("Montgomery"));
    QVERIFY(model->setData(model->index(1, 3), QStringLiteral("Mobile")));
    QVERIFY(!model->setData(model->index(1, 6), QStringLiteral("many"))); // a short field
    QCOMPARE(m_prompts.prompter.texts("error"), QStringList{"'many' is not a valid integer value"});

    w.sheet->BtnDBMainteShow->click(); // up: closed and hidden
    QVERIFY(!w.sheet->TableMainte().active());
    QVERIFY(!w.sheet->DBGrid1->isVisibleTo(w.form.get()));
    w.sheet->BtnDBMainteShow->click(); // down: opened again
    QCOMPARE(model->index(1, 3).data().toString(), QStringLiteral("Mobile"));
    QCOMPARE(valueIn(path, 1, "Capital").toString(), QStringLiteral("Mobile"));
    test::verifyKeyedFiles(path, ParadoxTable::indexPathFor(path));

    // Memo and autoincrement fields are shown but not edited.
    const QString typed = test::copyFixtureTable(QStringLiteral("pxlib-TypSammlung.DB"), w.folders.root());
    m_prompts.prompter.paths.enqueue(typed);
    w.sheet->BtnSelDB->click();
    QCOMPARE(model->rowCount(), 5);
    QCOMPARE(model->index(2, 9).data().toString(), QStringLiteral("(MEMO)"));
    QVERIFY(!(model->flags(model->index(2, 9)) & Qt::ItemIsEditable));
    QVERIFY(model->flags(model->index(2, 2)) & Qt::ItemIsEditable);
}

void TestDatabaseSheet::fileThatIsNoTableLeavesTheGridAsItWas() {
    Window w([](const QString& tables) {
        createIonWorkTime(QDir(tables).filePath(QStringLiteral("IonWorkTime.db")));
    });
    w.showTab(w.form->TabDBOption);
    w.sheet->BtnDBMainteShow->click(); // the default table, IonWorkTime
    QVERIFY(w.sheet->TableMainte().active());
    QCOMPARE(w.sheet->DBGrid1->model()->columnCount(), 8);

    const QString bad = writeFile(w.folders.root() + QStringLiteral("/notes.db"), "not a table at all\r\n");
    m_prompts.prompter.paths.enqueue(bad);
    w.sheet->BtnSelDB->click();
    QCOMPARE(m_prompts.prompter.texts("error").size(), 1);
    QVERIFY(m_prompts.prompter.texts("error").first().startsWith(QStringLiteral("Cannot open table")));
    QVERIFY(w.sheet->TableMainte().active());
    QVERIFY(w.sheet->BtnDBMainteShow->isChecked());
    QCOMPARE(w.sheet->DBGrid1->model()->columnCount(), 8);
    QVERIFY(w.sheet->LblDBMainte->text().isEmpty());
}

void TestDatabaseSheet::gridOverALargeTableAnswersAtOnce() {
    // A model over a large table knows its size at once and reads a record when a cell
    // of it is asked for, wherever it lies.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Large.db"));
    ParadoxTable::create(
        path, {{QStringLiteral("K"), FieldType::Long, 4}, {QStringLiteral("V"), FieldType::Number, 8}}, 1);
    ParadoxTable table;
    table.open(path);
    QList<QByteArray> records;
    for (int k = 0; k < 20000; ++k) {
        QByteArray r = table.blankRecord();
        table.encode(r, 0, k);
        table.encode(r, 1, k * 0.25);
        records << r;
    }
    table.appendRecords(records);
    TableGridModel model;
    model.setTable(&table);
    QCOMPARE(model.rowCount(), 20000);
    QCOMPARE(model.index(19999, 1).data().toString(), QStringLiteral("4999.75"));
    QTableView view;
    view.setModel(&model);
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("0"));
}

QTEST_MAIN(TestDatabaseSheet)
#include "tst_databasesheet.moc"
