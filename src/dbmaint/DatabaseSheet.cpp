#include "DatabaseSheet.h"

#include "DataFiles.h"
#include "DatabaseErrors.h"
#include "TApDataBase.h"
#include "TableGridModel.h"
#include "support/Guard.h"
#include "support/Paths.h"
#include "support/Prompter.h"
#include "support/TQelBtn.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vantor {

namespace {

constexpr int kGridColumns = 16;
constexpr int kGridRows = 17;
constexpr int kApertures = 15; // columns 1 to 15 of both aperture grids
constexpr int kCopiedApertures = 10;

QTableWidget* stringGrid(QWidget* parent, const char* name, int firstColumnWidth) {
    auto* grid = new QTableWidget(kGridRows, kGridColumns, parent);
    grid->setObjectName(QLatin1String(name));
    grid->horizontalHeader()->hide();
    grid->verticalHeader()->hide();
    grid->verticalHeader()->setDefaultSectionSize(22);
    grid->horizontalHeader()->setDefaultSectionSize(90);
    grid->setColumnWidth(0, firstColumnWidth);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Row 0 and column 0 are the fixed cells of a string grid.
    for (int r = 0; r < kGridRows; ++r)
        for (int c = 0; c < kGridColumns; ++c) {
            auto* item = new QTableWidgetItem;
            if (r == 0 || c == 0)
                item->setBackground(grid->palette().button());
            if (r > 0 && c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            grid->setItem(r, c, item);
        }
    return grid;
}

TQelBtn* twoStateButton(QWidget* parent, const char* name, const QString& caption, int group) {
    auto* button = new TQelBtn(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setButtonWidth(TQELButtonWidth::W240);
    button->setGroupIndex(group);
    button->setAllowAllUp(true);
    return button;
}

QTableView* dataGrid(QWidget* parent, const char* name, TableGridModel* model) {
    auto* view = new QTableView(parent);
    view->setObjectName(QLatin1String(name));
    view->setModel(model);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(22);
    view->horizontalHeader()->setDefaultSectionSize(100);
    view->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
    return view;
}

// Releases a two-state button when the handler ends, however it ends.
[[nodiscard]] auto releasedAtEnd(TQelBtn* button) {
    return qScopeGuard([button] { button->setChecked(false); });
}

} // namespace

DatabaseSheet::DatabaseSheet(const BorrowedControls& controls, QObject* parent)
    : QObject(parent), m_controls(controls), m_tableIon(std::make_unique<TTable>()),
      m_tableMainte(std::make_unique<TTable>()),
      m_apFileFolder(paths::localDefault(QStringLiteral("C:\\CorvaneOS9\\Backup"))),
      m_dbFolder(paths::localDefault(QStringLiteral("c:\\qeldatabase"))) {
    m_ionModel = new TableGridModel(this);
    m_mainteModel = new TableGridModel(this);
    buildApertureTab(controls.tabAp);
    buildIonTab(controls.tabIon);
    buildOptionTab(controls.tabOption);
    setAliases(nullptr);
    connect(controls.pageDB, &QTabWidget::currentChanged, this,
            [this] { guarded([this] { PageDBChange(); }); });
}

DatabaseSheet::~DatabaseSheet() = default;

void DatabaseSheet::buildApertureTab(QWidget* tab) {
    auto* layout = new QVBoxLayout(tab);
    auto* bar = new QHBoxLayout;
    ComboBoxDB = new QComboBox(tab);
    ComboBoxDB->setObjectName(QStringLiteral("ComboBoxDB"));
    ComboBoxDB->setMinimumWidth(180);
    BtnReadAPData = twoStateButton(tab, "BtnReadAPData", QStringLiteral("Read VME AP-Data File"), 31);
    BtnCopyToDB = twoStateButton(tab, "BtnCopyToDB", QStringLiteral("Copy AP-Data To DB"), 32);
    bar->addWidget(ComboBoxDB);
    bar->addWidget(BtnReadAPData);
    bar->addWidget(BtnCopyToDB);
    bar->addStretch(1);
    layout->addLayout(bar);
    GridApCtrl = stringGrid(tab, "GridApCtrl", 140);
    GridApData = stringGrid(tab, "GridApData", 140);
    layout->addWidget(GridApCtrl, 1);
    layout->addWidget(GridApData, 1);

    connect(ComboBoxDB, &QComboBox::currentIndexChanged, this,
            [this] { guarded([this] { ShowApTable(); }); });
    connect(BtnReadAPData, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnReadAPDataClick(); }); });
    connect(BtnCopyToDB, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnCopyToDBClick(); }); });
}

void DatabaseSheet::buildIonTab(QWidget* tab) {
    auto* layout = new QVBoxLayout(tab);
    auto* bar = new QHBoxLayout;
    BtnReadIonData = twoStateButton(tab, "BtnReadIonData", QStringLiteral("Read VME Ion Data File"), 33);
    BtnCopyIonData = twoStateButton(tab, "BtnCopyIonData", QStringLiteral("Copy Ion Data To DB"), 34);
    bar->addWidget(BtnReadIonData);
    bar->addWidget(BtnCopyIonData);
    bar->addStretch(1);
    layout->addLayout(bar);
    GridIonData = stringGrid(tab, "GridIonData", 90);
    DBGridIon = dataGrid(tab, "DBGridIon", m_ionModel);
    layout->addWidget(GridIonData, 1);
    layout->addWidget(DBGridIon, 1);

    connect(BtnReadIonData, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnReadIonDataClick(); }); });
    connect(BtnCopyIonData, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnCopyIonDataClick(); }); });
}

void DatabaseSheet::buildOptionTab(QWidget* tab) {
    auto* layout = new QVBoxLayout(tab);
    auto* bar = new QHBoxLayout;
    BtnSelDB = new TQELSpeedButton(QStringLiteral("Select  D.B."), tab);
    BtnSelDB->setObjectName(QStringLiteral("BtnSelDB"));
    BtnSelDB->setButtonWidth(TQELButtonWidth::W120);
    BtnDBMainteShow = twoStateButton(tab, "BtnDBMainteShow", QStringLiteral("Show"), 35);
    BtnDBMainteShow->setButtonWidth(TQELButtonWidth::W80);
    LblDBMainte = new QLabel(tab);
    LblDBMainte->setObjectName(QStringLiteral("LblDBMainte"));
    LblDBMainte->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(BtnSelDB);
    bar->addWidget(BtnDBMainteShow);
    bar->addWidget(LblDBMainte, 1);
    layout->addLayout(bar);
    DBGrid1 = dataGrid(tab, "DBGrid1", m_mainteModel);
    DBGrid1->hide();
    layout->addWidget(DBGrid1, 1);
    layout->addStretch(0);

    connect(BtnSelDB, &QAbstractButton::clicked, this, [this] { guarded([this] { BtnSelDBClick(); }); });
    connect(BtnDBMainteShow, &QAbstractButton::clicked, this,
            [this] { guarded([this] { BtnDBMainteShowClick(); }); });
}

void DatabaseSheet::setAliases(const DatabaseAliases* aliases) {
    m_aliases = aliases;
    m_ionModel->setTable(nullptr);
    m_mainteModel->setTable(nullptr);
    m_tableIon = std::make_unique<TTable>(aliases);
    m_tableIon->setDatabaseName(QStringLiteral("QelDataBase"));
    m_tableIon->setTableName(QStringLiteral("IonWorkTime.db"));
    m_tableMainte = std::make_unique<TTable>(aliases);
    m_tableMainte->setDatabaseName(QStringLiteral("QelDataBase"));
    m_tableMainte->setTableName(QStringLiteral("IonWorkTime"));
    m_ionModel->setTable(&m_tableIon->table());
    m_mainteModel->setTable(&m_tableMainte->table());
}

void DatabaseSheet::attachApDataBase(TApDataBase* apDataBase) {
    m_ap = apDataBase;
    // Filling the list is no choice of the engineer: it shows no table yet.
    const QSignalBlocker blocker(ComboBoxDB);
    ComboBoxDB->clear();
    for (int i = 0; i < 6; ++i) {
        m_ap->SelectApTable(i);
        ComboBoxDB->addItem(m_ap->tableName());
    }
    ComboBoxDB->setCurrentIndex(5);
}

void DatabaseSheet::InitApGridHeaders() {
    for (QTableWidget* grid : {GridApCtrl, GridApData})
        for (int n = 0; n < kApertures; ++n)
            grid->item(0, n + 1)->setText(QString::number(n));
    const QStringList& fields = TApDataBase::fieldNames();
    GridApCtrl->item(0, 0)->setText(QStringLiteral("AP-No"));
    for (int j = 2; j <= 15; ++j)
        GridApCtrl->item(j - 1, 0)->setText(fields[j]);
    GridApCtrl->item(15, 0)->setText(fields[19]);
    GridApCtrl->item(16, 0)->setText(fields[20]);
}

void DatabaseSheet::PageDBChange() {
    if (!m_controls.sheetActive || !m_controls.sheetActive())
        return;
    QWidget* tab = m_controls.pageDB->currentWidget();
    if (tab == m_controls.tabAp) {
        closeIonTable();
        ShowApTable();
    } else if (tab == m_controls.tabIon) {
        if (m_ap)
            m_ap->close();
        openIonTable();
    } else {
        if (m_ap)
            m_ap->close();
        closeIonTable();
    }
}

void DatabaseSheet::closeIonTable() {
    m_tableIon->close();
    m_ionModel->refresh();
}

void DatabaseSheet::openIonTable() {
    try {
        m_tableIon->open();
    } catch (...) {
        m_ionModel->refresh();
        throw;
    }
    m_ionModel->refresh();
}

void DatabaseSheet::ShowApTable() {
    if (!m_ap)
        return;
    m_ap->close();
    m_ap->SelectApTable(ComboBoxDB->currentIndex());
    m_ap->open();
    const QStringList& fields = TApDataBase::fieldNames();
    for (int n = 0; n < kApertures; ++n)
        for (int j = 2; j <= 20; ++j) {
            if (j >= 16 && j <= 18)
                continue; // AccV, Ibm and FilW are not shown
            const int row = j <= 15 ? j - 1 : j - 4;
            GridApCtrl->item(row, n + 1)->setText(formatApValue(m_ap->ReadApValue(fields[j], n)));
        }
}

CellGrid DatabaseSheet::cellsOf(const QTableWidget* grid) {
    CellGrid cells(grid->columnCount(), grid->rowCount());
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            cells.setCell(c, r, grid->item(r, c)->text());
    return cells;
}

void DatabaseSheet::putCells(QTableWidget* grid, const CellGrid& cells) {
    for (int r = 0; r < grid->rowCount(); ++r)
        for (int c = 0; c < grid->columnCount(); ++c)
            grid->item(r, c)->setText(cells.cell(c, r));
}

QString DatabaseSheet::chooseApFile() {
    return Prompter::current().openFile(QStringLiteral("Open"), m_apFileFolder, QString());
}

void DatabaseSheet::BtnReadAPDataClick() {
    const auto release = releasedAtEnd(BtnReadAPData);
    const QString path = chooseApFile();
    if (path.isEmpty())
        return;
    CellGrid cells = cellsOf(GridApData);
    ParseApDataFile(readTextLines(path), cells);
    putCells(GridApData, cells);
}

void DatabaseSheet::BtnCopyToDBClick() {
    const auto release = releasedAtEnd(BtnCopyToDB);
    if (!m_ap)
        return;
    const QStringList& fields = TApDataBase::fieldNames();
    const auto value = [this](int row, int n) { return cellNumber(GridApData->item(row, n + 1)->text()); };
    try {
        for (int n = 0; n < kCopiedApertures; ++n) {
            for (int row = 1; row <= 12; ++row)
                m_ap->WriteApValue(fields[row + 1], n, value(row, n));
            m_ap->WriteApValue(fields[14], n, value(14, n));
            m_ap->WriteApValue(fields[19], n, value(15, n) * 1000.0);
            m_ap->WriteApValue(fields[20], n, value(16, n));
        }
    } catch (...) {
        // What was written before stays, and the grid shows it.
        swallowing([this] { ShowApTable(); });
        throw;
    }
    ShowApTable();
}

void DatabaseSheet::BtnReadIonDataClick() {
    const auto release = releasedAtEnd(BtnReadIonData);
    const QString path = chooseApFile();
    if (path.isEmpty())
        return;
    const QStringList lines = readTextLines(path);
    CellGrid cells = cellsOf(GridIonData);
    try {
        ParseIonDataFile(lines, cells);
    } catch (...) {
        putCells(GridIonData, cells); // the rows read before the fault stay
        throw;
    }
    putCells(GridIonData, cells);
}

void DatabaseSheet::BtnCopyIonDataClick() {
    const auto release = releasedAtEnd(BtnCopyIonData);
    try {
        for (int r = 1; r < GridIonData->rowCount() && !GridIonData->item(r, 1)->text().isEmpty(); ++r) {
            QVariantList values{r};
            for (int c = 1; c <= 7; ++c)
                values << GridIonData->item(r, c)->text();
            m_tableIon->appendRecord(values);
        }
    } catch (...) {
        m_ionModel->refresh();
        throw;
    }
    m_ionModel->refresh();
}

void DatabaseSheet::showMainteTable(bool show) {
    if (show) {
        DBGrid1->show();
        m_tableMainte->open();
    } else {
        m_tableMainte->close();
        DBGrid1->hide();
    }
    m_mainteModel->refresh();
}

void DatabaseSheet::BtnSelDBClick() {
    const QString path = Prompter::current().openFile(QStringLiteral("Open"), m_dbFolder,
                                                      QStringLiteral("Database files (*.db)"));
    if (path.isEmpty())
        return;
    // The chosen file is opened before the shown one is let go: a file that is no table
    // leaves the grid as it was.
    auto chosen = std::make_unique<TTable>(m_aliases);
    chosen->setDatabaseName(m_tableMainte->databaseName());
    chosen->setTableName(path);
    chosen->open();
    BtnDBMainteShow->setChecked(false);
    m_mainteModel->setTable(nullptr);
    showMainteTable(false);
    m_tableMainte = std::move(chosen);
    m_mainteModel->setTable(&m_tableMainte->table());
    LblDBMainte->setText(path);
    BtnDBMainteShow->setChecked(true);
    DBGrid1->show();
    m_mainteModel->refresh();
}

void DatabaseSheet::BtnDBMainteShowClick() {
    if (!BtnDBMainteShow->isChecked()) {
        showMainteTable(false);
        return;
    }
    try {
        showMainteTable(true);
    } catch (...) {
        BtnDBMainteShow->setChecked(false);
        showMainteTable(false);
        throw;
    }
}

} // namespace vantor
