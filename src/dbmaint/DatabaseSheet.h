#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QTableView;
class QTableWidget;
class QTabWidget;
class QWidget;

namespace vantor {

class CellGrid;
class DatabaseAliases;
class TApDataBase;
class TQELSpeedButton;
class TQelBtn;
class TTable;
class TableGridModel;

// The "DataBase Mainte." sheet: its page control PageDB with the "Aperture" tab (an
// aperture table and a VME aperture data file side by side, copied one into the other),
// the "Ion Src." tab (an ion-source data file appended to "IonWorkTime.db") and the
// "DataBase" tab (any Paradox table in an editable grid).
//
// The aperture table component is the main window's; the sheet uses it once attached.
// Every button handler runs guarded: a failure is shown in the error box and leaves the
// buttons up.
class DatabaseSheet final : public QObject {
    Q_OBJECT
public:
    // What the main window lends the sheet.
    struct BorrowedControls {
        QTabWidget* pageDB;
        QWidget* tabAp;
        QWidget* tabIon;
        QWidget* tabOption;
        // Whether the main page control shows the "DataBase Mainte." sheet.
        std::function<bool()> sheetActive;
    };

    DatabaseSheet(const BorrowedControls& controls, QObject* parent = nullptr);
    ~DatabaseSheet() override;

    // Start-up: the aliases the ion and maintenance tables use (not owned).
    void setAliases(const DatabaseAliases* aliases);
    // Start-up: fills ComboBoxDB with the six table names and selects "ApOpticsCtrl.db".
    void attachApDataBase(TApDataBase* apDataBase);
    // Start-up: the fixed row and column of both aperture grids.
    void InitApGridHeaders();

    // Aperture tab.
    QComboBox* ComboBoxDB;
    QTableWidget* GridApCtrl;
    QTableWidget* GridApData;
    TQelBtn* BtnReadAPData;
    TQelBtn* BtnCopyToDB;
    // Ion Src. tab.
    QTableWidget* GridIonData;
    QTableView* DBGridIon;
    TQelBtn* BtnReadIonData;
    TQelBtn* BtnCopyIonData;
    // DataBase tab.
    TQELSpeedButton* BtnSelDB;
    TQelBtn* BtnDBMainteShow;
    QLabel* LblDBMainte;
    QTableView* DBGrid1;

    TTable& TableIon() { return *m_tableIon; }
    TTable& TableMainte() { return *m_tableMainte; }

    // The tab switching of PageDB; also run when the window is first shown and when the
    // main page control shows this sheet. Does nothing while another sheet is shown.
    void PageDBChange();
    // Algorithm of a ComboBoxDB change: the selected aperture table into GridApCtrl.
    void ShowApTable();
    void BtnReadAPDataClick();
    void BtnCopyToDBClick();
    void BtnReadIonDataClick();
    void BtnCopyIonDataClick();
    void BtnSelDBClick();
    void BtnDBMainteShowClick();

private:
    void buildApertureTab(QWidget* tab);
    void buildIonTab(QWidget* tab);
    void buildOptionTab(QWidget* tab);
    QString chooseApFile();
    void closeIonTable();
    void openIonTable();
    void showMainteTable(bool show);
    static CellGrid cellsOf(const QTableWidget* grid);
    static void putCells(QTableWidget* grid, const CellGrid& cells);

    BorrowedControls m_controls;
    TApDataBase* m_ap = nullptr;
    const DatabaseAliases* m_aliases = nullptr;
    std::unique_ptr<TTable> m_tableIon;
    std::unique_ptr<TTable> m_tableMainte;
    TableGridModel* m_ionModel = nullptr;
    TableGridModel* m_mainteModel = nullptr;
    QString m_apFileFolder;
    QString m_dbFolder;
};

} // namespace vantor
