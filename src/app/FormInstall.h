#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

class QLineEdit;
class QPlainTextEdit;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace vantor {

class ConsoleSheets;
class DatabaseAliases;
class DatabaseSheet;
class TApDataBase;
class FileViewerSheet;
class FunctionGate;
class FunctionSheet;
class StatusBarPanels;
class TFIBSysInfo;
class TransferPanels;
class TransferSheets;
class RestorePreparation;
class TFormRestore;
struct FamilyBatches;
struct FunctionPlan;
enum class Family;
enum class Sheet;

// The main window ("Installer for OS-9 Remote System"). It builds the sheets and composes
// the subsystems that drive them; the behaviour of each subsystem lives in its own class.
class TFormInstall final : public QMainWindow {
    Q_OBJECT
public:
    explicit TFormInstall(QWidget* parent = nullptr);
    ~TFormInstall() override;

    // Main page control and its sheets.
    QTabWidget* PageFTPCtrl;
    QWidget* ShtEntry;
    QWidget* ShtInstall;
    QWidget* ShtVerUp;
    QWidget* ShtBackup;
    QWidget* ShtGet;
    QWidget* ShtView;
    QWidget* ShtTelnet;
    QWidget* ShtRs232c;
    QWidget* ShtDBMainte;
    QWidget* ShtSetup;

    // Settings (Setup sheet); the engineer may edit them, nothing writes them to disk.
    QLineEdit* EditlIPAdrs1;
    QLineEdit* EditUser1;
    QLineEdit* EditPass1;
    QLineEdit* EdtInsSystem;
    QLineEdit* EdtInsApplication;
    QLineEdit* EdtVerApplication;
    QLineEdit* EdtBackApplication;

    // Database page: its tabs are chosen by the instrument family.
    QTabWidget* PageDB;
    QWidget* TabDBAp;
    QWidget* TabDBIon;
    QWidget* TabDBOption;

    QPlainTextEdit* MemoFtp;
    StatusBarPanels* StsBar;
    QTimer* Timer1;

    FunctionSheet* functionSheet() const { return m_function; }
    FunctionGate* functionGate() const { return m_gate; }
    TransferPanels* transferPanels() const { return m_transfer; }
    FileViewerSheet* fileViewer() const { return m_viewer; }
    ConsoleSheets* consoles() const { return m_consoles; }
    TransferSheets* transferSheets() const { return m_transferSheets; }
    // The Restore dialog that "Restore Data" shows. The program makes its windows in a fixed
    // order, the dialog after this one, and hands it over once it exists.
    void setRestoreDialog(TFormRestore* dialog);
    RestorePreparation* restorePreparation() const { return m_restore; }
    DatabaseSheet* databaseSheet() const { return m_database; }
    // The aperture table component, made at start-up.
    TApDataBase* apDataBase() const { return m_apDataBase.get(); }
    TFIBSysInfo* sysInfo() const { return m_sysInfo.get(); }

    // Folder in which the terminal-log save dialog starts.
    QString saveDialogFolder() const { return m_saveDialogFolder; }

    // The log folder rule: P\Data\Temp, else P\Data, else P, else E, with E the program's
    // folder and P its parent.
    static QString ChooseLogFolder(const QString& programFolder);

    // The engineer chose another sheet of the main page control.
    void PageFTPCtrlChange();
    // What showing `sheet` does to the panels it shares with other sheets.
    void setUpSheet(QWidget* sheet);

    // Makes `sheet` the active page without running the page-change handler, as a
    // program-made change of page must not (only the engineer's choice of a sheet does).
    void showSheet(QWidget* sheet);
    // Shows or hides the tab of a sheet of the main page control.
    void setSheetTabVisible(QWidget* sheet, bool visible);
    bool isSheetTabVisible(QWidget* sheet) const;
    QStringList visibleTabCaptions() const;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPages();
    void buildSetupSheet();
    void buildDatabaseSheet();
    void buildConsoles();
    void enterRestoreData();
    // What the Function sheet's gate decided, carried out.
    void applyBatchTexts(const FamilyBatches& texts);
    void applyFunctionPlan(const FunctionPlan& plan);
    void completeFunctionPlan(const FunctionPlan& plan);
    QWidget* sheetWidget(Sheet sheet) const;
    // Re-creates the system-information object for `family`, its folders found from the
    // folder the program was started in. Throws FileError, leaving no object, when a folder
    // variable names a folder that cannot be entered.
    void recreateSysInfo(Family family);
    void createApDataBase();
    void FormCreate();
    void FormShow();
    void readControllerAddress();
    void ShowProgramVersion();
    void hideAllSheetTabs();
    void Timer1Timer();

    FunctionSheet* m_function = nullptr;
    FunctionGate* m_gate = nullptr;
    TransferPanels* m_transfer = nullptr;
    FileViewerSheet* m_viewer = nullptr;
    ConsoleSheets* m_consoles = nullptr;
    TransferSheets* m_transferSheets = nullptr;
    RestorePreparation* m_restore = nullptr;
    TFormRestore* m_restoreDialog = nullptr;
    std::unique_ptr<TFIBSysInfo> m_sysInfo;
    DatabaseSheet* m_database = nullptr;
    std::unique_ptr<DatabaseAliases> m_aliases;
    std::unique_ptr<TApDataBase> m_apDataBase;
    QVBoxLayout* m_setupBatchArea = nullptr;
    QString m_saveDialogFolder;
    const QString m_startFolder; // the process's current folder when the window was made
    QPointer<QWidget> m_sheetShown;
    bool m_shownOnce = false;
    int m_programmaticPageChange = 0;
};

} // namespace vantor
