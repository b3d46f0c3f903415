#include "FormInstall.h"

#include "FamilyBatches.h"
#include "FunctionGate.h"
#include "FunctionPlan.h"
#include "FunctionSheet.h"
#include "RestorePreparation.h"
#include "StatusBarPanels.h"
#include "backup/FormRestore.h"
#include "console/widgets/BatchBoxes.h"
#include "console/widgets/BatchPanel.h"
#include "console/widgets/ConsoleSheets.h"
#include "dbmaint/DatabaseAliases.h"
#include "dbmaint/DatabaseSheet.h"
#include "dbmaint/TApDataBase.h"
#include "support/FIBSysInfo.h"
#include "support/FileIO.h"
#include "support/Guard.h"
#include "support/Paths.h"
#include "support/Prompter.h"
#include "support/TQELSpeedButton.h"
#include "support/TQelGroupBox.h"
#include "transfer/FileViewerSheet.h"
#include "transfer/TransferPanels.h"
#include "transfer/TransferSheets.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QSplitter>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

namespace vantor {

namespace {
constexpr auto kDefaultAddress = "128.0.1.1";

QWidget* sheet(QTabWidget* pages, const char* name, const QString& caption) {
    auto* w = new QWidget;
    w->setObjectName(QLatin1String(name));
    pages->addTab(w, caption);
    return w;
}

QLineEdit* settingEdit(QFormLayout* form, const char* name, const QString& label, const QString& value) {
    auto* edit = new QLineEdit(value);
    edit->setObjectName(QLatin1String(name));
    form->addRow(label, edit);
    return edit;
}
} // namespace

TFormInstall::TFormInstall(QWidget* parent) : QMainWindow(parent), m_startFolder(QDir::currentPath()) {
    setObjectName(QStringLiteral("FormInstall"));
    setWindowTitle(QStringLiteral("Installer for OS-9 Remote System"));
    buildPages();
    // Wide enough for the status bar's fixed panels beside a useful status panel.
    resize(1100, 780);
    FormCreate();
}

TFormInstall::~TFormInstall() = default; // FormDestroy: the owned objects go with the window

void TFormInstall::buildPages() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);

    PageFTPCtrl = new QTabWidget(central);
    PageFTPCtrl->setObjectName(QStringLiteral("PageFTPCtrl"));
    ShtEntry = sheet(PageFTPCtrl, "ShtEntry", QStringLiteral("Function"));
    ShtInstall = sheet(PageFTPCtrl, "ShtInstall", QStringLiteral("Install"));
    ShtVerUp = sheet(PageFTPCtrl, "ShtVerUp", QStringLiteral("Version Up"));
    ShtBackup = sheet(PageFTPCtrl, "ShtBackup", QStringLiteral("Backup"));
    ShtGet = sheet(PageFTPCtrl, "ShtGet", QStringLiteral("File Transfer"));
    ShtView = sheet(PageFTPCtrl, "ShtView", QStringLiteral("File Viewer"));
    ShtTelnet = sheet(PageFTPCtrl, "ShtTelnet", QStringLiteral("Telnet"));
    ShtRs232c = sheet(PageFTPCtrl, "ShtRs232c", QStringLiteral("Serial"));
    ShtDBMainte = sheet(PageFTPCtrl, "ShtDBMainte", QStringLiteral("DataBase Mainte."));
    ShtSetup = sheet(PageFTPCtrl, "ShtSetup", QStringLiteral("Setup"));

    m_function = new FunctionSheet(ShtEntry);
    m_gate = new FunctionGate(*m_function, this);
    m_transfer = new TransferPanels(ShtInstall);
    m_viewer = new FileViewerSheet(ShtView);
    buildSetupSheet();
    buildDatabaseSheet();
    buildConsoles();

    MemoFtp = new QPlainTextEdit(central);
    MemoFtp->setObjectName(QStringLiteral("MemoFtp"));
    MemoFtp->setReadOnly(true);
    MemoFtp->setMaximumBlockCount(0);

    StsBar = new StatusBarPanels(central);

    // The engineer can give the FTP log more room during a long install.
    auto* split = new QSplitter(Qt::Vertical, central);
    split->addWidget(PageFTPCtrl);
    split->addWidget(MemoFtp);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setSizes({600, 140});
    layout->addWidget(split, 1);
    layout->addWidget(StsBar);
    setCentralWidget(central);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(1000);
    connect(Timer1, &QTimer::timeout, this, &TFormInstall::Timer1Timer);

    // The FTP log is for the sheets that use the FTP connection, which any change of sheet
    // closes; the console sheets give its height to the terminal.
    connect(PageFTPCtrl, &QTabWidget::currentChanged, this, [this] {
        QWidget* current = PageFTPCtrl->currentWidget();
        MemoFtp->setVisible(current != ShtTelnet && current != ShtRs232c);
    });
    connect(PageFTPCtrl, &QTabWidget::currentChanged, this, [this] {
        if (m_programmaticPageChange != 0)
            return;
        if (m_gate->isEnteringFunction()) {
            // The function being entered keeps its sheet until it is in place; a tab
            // clicked meanwhile is turned back.
            showSheet(m_sheetShown);
            return;
        }
        m_sheetShown = PageFTPCtrl->currentWidget();
        guarded([this] { PageFTPCtrlChange(); });
    });
    m_transfer->LblIPAdrs2->installEventFilter(this);
    connect(EditlIPAdrs1, &QLineEdit::textEdited, m_transfer->LblIPAdrs2, &QLabel::setText);

    // Transfer sheets: FTP session, browsing and transfers over the shared panels.
    m_transferSheets = new TransferSheets(
        {{m_transfer, MemoFtp, StsBar->panel(StatusBarPanels::StatusPanel),
          StsBar->panel(StatusBarPanels::ProgressPanel), EditlIPAdrs1, EditUser1, EditPass1},
         ShtGet,
         [this] { return PageFTPCtrl->currentWidget(); }},
        this);
    // A Version Up run ends with the "Change Attr" batch, sent to the console the Version
    // Up function opened.
    m_transferSheets->setChangeAttrBatch([this] {
        BatchPanel& panel = m_consoles->batchPanel();
        panel.BatchButtonClick(panel.BtnAttr);
    });
}

void TFormInstall::buildSetupSheet() {
    auto* row = new QHBoxLayout(ShtSetup);
    auto* form = new QFormLayout;
    EditlIPAdrs1 =
        settingEdit(form, "EditlIPAdrs1", QStringLiteral("IP Address"), QLatin1String(kDefaultAddress));
    EditUser1 = settingEdit(form, "EditUser1", QStringLiteral("User"), QStringLiteral("super"));
    EditPass1 = settingEdit(form, "EditPass1", QStringLiteral("Password"), QStringLiteral("kolm"));
    EditPass1->setEchoMode(QLineEdit::Password);
    EdtInsSystem = settingEdit(form, "EdtInsSystem", QStringLiteral("Install System"),
                               paths::localDefault(QStringLiteral("C:\\CorvaneOS9\\Install\\System")));
    EdtInsApplication = settingEdit(form, "EdtInsApplication", QStringLiteral("Install Application"),
                                    paths::localDefault(QStringLiteral("C:\\CorvaneOS9\\Install\\Program")));
    EdtVerApplication =
        settingEdit(form, "EdtVerApplication", QStringLiteral("Version Up Application"),
                    paths::localDefault(QStringLiteral("C:\\CorvaneOS9\\VersionUp\\Program")));
    EdtBackApplication = settingEdit(form, "EdtBackApplication", QStringLiteral("Backup"),
                                     paths::localDefault(QStringLiteral("C:\\CorvaneOS9\\Backup")));
    row->addLayout(form, 1);
    // The batch boxes of the consoles live beside the settings.
    m_setupBatchArea = new QVBoxLayout;
    row->addLayout(m_setupBatchArea, 1);
}

void TFormInstall::buildDatabaseSheet() {
    auto* layout = new QVBoxLayout(ShtDBMainte);
    PageDB = new QTabWidget(ShtDBMainte);
    PageDB->setObjectName(QStringLiteral("PageDB"));
    TabDBAp = sheet(PageDB, "TabDBAp", QStringLiteral("Aperture"));
    TabDBIon = sheet(PageDB, "TabDBIon", QStringLiteral("Ion Src."));
    TabDBOption = sheet(PageDB, "TabDBOption", QStringLiteral("DataBase"));
    layout->addWidget(PageDB);
    m_database = new DatabaseSheet({PageDB, TabDBAp, TabDBIon, TabDBOption,
                                    [this] { return PageFTPCtrl->currentWidget() == ShtDBMainte; }},
                                   this);
}

// The remote consoles: the Telnet and Serial sheets, the batch panel and command list they
// share, and the batch boxes beside the settings. The gate's choices reach them: the family's
// batch texts, and the serial port's open and abort actions for entering Version Up.
void TFormInstall::buildConsoles() {
    const FamilyBatches design = familyBatches(Family::QEL, -1);
    ConsoleSheets::BorrowedControls controls;
    controls.telnetSheet = ShtTelnet;
    controls.serialSheet = ShtRs232c;
    controls.batchArea = m_setupBatchArea;
    controls.activeSheet = [this] { return PageFTPCtrl->currentWidget(); };
    controls.address = EditlIPAdrs1;
    controls.user = EditUser1;
    controls.password = EditPass1;
    controls.saveFolder = [this] { return m_saveDialogFolder; };
    controls.dataFolder = [this] { return m_sysInfo ? m_sysInfo->dataFolder() : QString(); };
    controls.startupLines = design.startupLines;
    controls.seriesLines = design.seriesLines;
    m_consoles = new ConsoleSheets(controls, this);

    m_gate->applyBatchTexts = [this](const FamilyBatches& texts) { applyBatchTexts(texts); };
    m_gate->applyPlan = [this](const FunctionPlan& plan) { applyFunctionPlan(plan); };
    m_gate->completePlan = [this](const FunctionPlan& plan) { completeFunctionPlan(plan); };
    m_gate->openSerialPort = [this] { return m_consoles->openSerialPort(); };
    m_gate->runAbortBatch = [this] { m_consoles->runAbortBatch(); };
}

QString TFormInstall::ChooseLogFolder(const QString& programFolder) {
    const QString exe = paths::stripTrailingSeparator(programFolder);
    const QString parent = paths::parentFolder(exe);
    const QString dataTemp = paths::join(paths::join(parent, QStringLiteral("Data")), QStringLiteral("Temp"));
    const QString data = paths::join(parent, QStringLiteral("Data"));
    for (const QString& candidate : {dataTemp, data, parent})
        if (!parent.isEmpty() && QDir(candidate).exists())
            return candidate;
    return exe;
}

void TFormInstall::FormCreate() {
    m_saveDialogFolder = ChooseLogFolder(QCoreApplication::applicationDirPath());
    move(0, 0);
    m_transferSheets->DirecInstallChange();
    m_consoles->prepareSerialPort();
    m_transfer->LblInstDir->setText(EdtInsSystem->text());
    m_transfer->LblInstDir2->setText(EdtInsApplication->text());
    // A folder variable that names no usable folder is reported and the start goes on,
    // without the instrument's files until a function choice finds its folders.
    guarded([this] { recreateSysInfo(Family::QEL); });
    readControllerAddress();
    createApDataBase();
    m_consoles->fillCommandList();
    ShowProgramVersion();
    m_consoles->loadUserBatches();
    hideAllSheetTabs();
    showSheet(ShtEntry);
    m_function->CmbDaxType->setCurrentIndex(0);
    m_consoles->UpdateConsolePanels();
    Timer1Timer();
    Timer1->start();
}

// The aperture table component is made once, on the aliases of this PC, and makes its
// tables ready; a table it could not prepare is reported and the others are used.
void TFormInstall::createApDataBase() {
    m_aliases = std::make_unique<DatabaseAliases>(m_sysInfo ? m_sysInfo->dataFolder() : QString());
    m_database->setAliases(m_aliases.get());
    m_apDataBase = std::make_unique<TApDataBase>(m_aliases.get());
    m_database->attachApDataBase(m_apDataBase.get());
    m_database->InitApGridHeaders();
    if (!m_apDataBase->preparationErrors().isEmpty())
        Prompter::current().error(m_apDataBase->preparationErrors().join(QLatin1Char('\n')));
}

void TFormInstall::setRestoreDialog(TFormRestore* dialog) {
    RestorePreparation::BorrowedControls controls;
    controls.dialog = dialog;
    controls.telnet = &m_consoles->telnet();
    controls.address = EditlIPAdrs1;
    controls.drive = m_transfer->EdtDstDrv;
    controls.path = m_transfer->EdtDstPath;
    controls.ftpLog = MemoFtp;
    controls.instrumentDataFolder = [this] { return m_sysInfo ? m_sysInfo->dataFolder() : QString(); };
    controls.abortViaSerial = [this] { m_gate->abortViaSerial(); };
    controls.showMainWindow = [this] { show(); };
    delete m_restore;
    m_restore = new RestorePreparation(controls, this);
    m_restoreDialog = dialog;
    m_gate->enterRestoreData = [this] { enterRestoreData(); };
}

void TFormInstall::enterRestoreData() {
    hide();
    m_restoreDialog->OnCloseRequest = [this](QObject*) { m_restore->OnRestoreClosed(); };
    m_restoreDialog->OnBeforeRestore = [this](QObject*) { m_restore->RunIonKill(); };
    m_restoreDialog->show();
    // A failure of the preparation is reported and leaves the dialog open: the engineer
    // closes it to come back.
    guarded([this] { m_restore->PrepareRestore(); });
}

void TFormInstall::recreateSysInfo(Family family) {
    m_sysInfo.reset();
    m_sysInfo = std::make_unique<TFIBSysInfo>(family == Family::DAX ? 2 : 1, m_startFolder);
}

namespace {
void setCaption(QAbstractButton* button, const QString& caption) {
    if (!caption.isEmpty())
        button->setText(caption);
}

void setLines(QPlainTextEdit* memo, const QStringList& lines) {
    memo->setPlainText(lines.join(QLatin1Char('\n')));
}
} // namespace

void TFormInstall::applyBatchTexts(const FamilyBatches& texts) {
    const BatchPanel& panel = m_consoles->batchPanel();
    const BatchBoxes& boxes = m_consoles->batchBoxes();
    setCaption(panel.BtnStartup, texts.startupButton);
    boxes.GrpStartup->setTitle(texts.startupGroup);
    setCaption(panel.BtnAbort, texts.abortButton);
    setCaption(panel.BtnQEL740, texts.seriesButton);
    boxes.GrpQEL740->setTitle(texts.seriesGroup);
    setLines(boxes.MemoStartup, texts.startupLines);
    setLines(boxes.MemoQEL740, texts.seriesLines);
}

QWidget* TFormInstall::sheetWidget(Sheet sheetNamed) const {
    // In the order of `Sheet`.
    const std::array<QWidget*, 10> sheets{ShtEntry, ShtInstall, ShtVerUp,  ShtBackup,   ShtGet,
                                          ShtView,  ShtTelnet,  ShtRs232c, ShtDBMainte, ShtSetup};
    return sheets.at(static_cast<std::size_t>(sheetNamed));
}

void TFormInstall::applyFunctionPlan(const FunctionPlan& plan) {
    // The folders first: when they cannot be found, nothing else changes.
    if (plan.sysInfo == FunctionPlan::SysInfo::Create)
        recreateSysInfo(plan.sysInfoFamily);
    else if (plan.sysInfo == FunctionPlan::SysInfo::Release)
        m_sysInfo.reset();
    for (Sheet shown : plan.tabsShown)
        setSheetTabVisible(sheetWidget(shown), true);
    for (Sheet hidden : plan.tabsHidden)
        setSheetTabVisible(sheetWidget(hidden), false);
    if (plan.apertureTabs) {
        PageDB->setTabVisible(PageDB->indexOf(TabDBAp), *plan.apertureTabs);
        PageDB->setTabVisible(PageDB->indexOf(TabDBIon), *plan.apertureTabs);
        if (!*plan.apertureTabs)
            PageDB->setCurrentWidget(TabDBOption);
    }
    StsBar->setText(StatusBarPanels::MachinePanel, plan.machineText);
    if (plan.sheetShown)
        showSheet(sheetWidget(*plan.sheetShown));
}

void TFormInstall::completeFunctionPlan(const FunctionPlan& plan) {
    StsBar->setText(StatusBarPanels::MachinePanel, plan.enteredMachineText.value_or(QString()));
    // Restore Data leaves the Function sheet showing, whose set-up resets the gate.
    setUpSheet(PageFTPCtrl->currentWidget());
    // Back only once the gate has been reset: the engineer must not meet it half way.
    if (plan.function == Function::RestoreData && m_restore && m_restore->closedWhilePreparing())
        show();
}

void TFormInstall::readControllerAddress() {
    TFileIO table;
    if (!m_sysInfo ||
        !table.loadTable(m_sysInfo->dataFolder(),
                         QFileInfo(m_sysInfo->dataFile(QStringLiteral("QelMonitor.INI"))).fileName()))
        return; // no file: the address stays at its default
    const QString address = table.cell(2, 0);
    EditlIPAdrs1->setText(address);
    m_transfer->LblIPAdrs2->setText(address);
}

void TFormInstall::ShowProgramVersion() {
    StsBar->setText(StatusBarPanels::VersionPanel, QStringLiteral(" V") + QStringLiteral(VANTOR_VERSION));
}

void TFormInstall::hideAllSheetTabs() {
    for (int i = 0; i < PageFTPCtrl->count(); ++i)
        setSheetTabVisible(PageFTPCtrl->widget(i), false);
}

namespace {
// The page changes the program makes until the returned guard goes are not the engineer's.
[[nodiscard]] auto programmaticChange(int& depth) {
    ++depth;
    return qScopeGuard([&depth] { --depth; });
}
} // namespace

void TFormInstall::showSheet(QWidget* sheetWidget) {
    const auto change = programmaticChange(m_programmaticPageChange);
    PageFTPCtrl->setCurrentWidget(sheetWidget);
    m_sheetShown = PageFTPCtrl->currentWidget();
}

void TFormInstall::setSheetTabVisible(QWidget* sheetWidget, bool visible) {
    // Hiding the current sheet's tab makes the tab bar pick another sheet by itself; the
    // active page must stay what the program chose.
    const auto change = programmaticChange(m_programmaticPageChange);
    QWidget* active = PageFTPCtrl->currentWidget();
    PageFTPCtrl->setTabVisible(PageFTPCtrl->indexOf(sheetWidget), visible);
    PageFTPCtrl->setCurrentWidget(active);
}

bool TFormInstall::isSheetTabVisible(QWidget* sheetWidget) const {
    return PageFTPCtrl->isTabVisible(PageFTPCtrl->indexOf(sheetWidget));
}

QStringList TFormInstall::visibleTabCaptions() const {
    QStringList captions;
    for (int i = 0; i < PageFTPCtrl->count(); ++i)
        if (PageFTPCtrl->isTabVisible(i))
            captions << PageFTPCtrl->tabText(i);
    return captions;
}

void TFormInstall::PageFTPCtrlChange() {
    m_transferSheets->PageFTPCtrlChange();
    setUpSheet(PageFTPCtrl->currentWidget());
}

void TFormInstall::setUpSheet(QWidget* current) {
    m_consoles->sheetShown(current);
    if (current == ShtEntry) {
        m_gate->reset();
        return;
    }
    const TransferPanels::Folders folders{EdtInsSystem->text(), EdtInsApplication->text(),
                                          EdtVerApplication->text(), EdtBackApplication->text()};
    if (current == ShtInstall)
        m_transfer->setUpFor(current, TransferPanels::Sheet::Install, folders);
    else if (current == ShtVerUp)
        m_transfer->setUpFor(current, TransferPanels::Sheet::VersionUp, folders);
    else if (current == ShtBackup)
        m_transfer->setUpFor(current, TransferPanels::Sheet::Backup, folders);
    else if (current == ShtGet)
        m_transfer->setUpFor(current, TransferPanels::Sheet::FileTransfer, folders);
    else if (current == ShtDBMainte)
        m_database->PageDBChange();
}

void TFormInstall::Timer1Timer() {
    StsBar->setText(StatusBarPanels::ClockPanel,
                    QDateTime::currentDateTime().toString(QStringLiteral(" yyyy/MM/dd hh:mm:ss")));
}

void TFormInstall::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shownOnce) {
        m_shownOnce = true;
        FormShow();
    }
}

void TFormInstall::closeEvent(QCloseEvent* event) {
    // A transfer run must not go on behind a window the engineer has closed.
    m_transferSheets->shutDown();
    QMainWindow::closeEvent(event);
}

void TFormInstall::FormShow() {
    guarded([this] { m_database->PageDBChange(); });
}

bool TFormInstall::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_transfer->LblIPAdrs2 && event->type() == QEvent::MouseButtonRelease) {
        showSheet(ShtSetup);
        EditlIPAdrs1->setFocus();
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace vantor
