#pragma once

// Shared ground of the console sheet tests: the main window in an instrument-like folder
// layout, driven through its controls, and a scripted controller on the telnet side
// (FakeController).

#include "FakeController.h"
#include "app/FormInstall.h"
#include "app/FunctionSheet.h"
#include "app/RadioGroup.h"
#include "common/InstrumentFolders.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace vantor::test {

// The engineer's way through the Function sheet: QEL, ion beam off, then the function.
inline void chooseFunction(TFormInstall& form, int function) {
    form.functionSheet()->rbQEL->click();
    form.functionSheet()->RGConfirm->button(0)->click();
    form.functionSheet()->RdoFunction->button(function)->click();
}

// The engineer clicks the tab of a sheet.
inline void chooseSheet(TFormInstall& form, QWidget* sheet) {
    QVERIFY(form.isSheetTabVisible(sheet));
    form.PageFTPCtrl->setCurrentWidget(sheet);
}

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace vantor::test
