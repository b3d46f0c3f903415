#pragma once

#include <QList>
#include <QString>

class QBoxLayout;
class QWidget;

namespace vantor {

class TQelBtn;
class TerminalView;

// The shape both console sheets share: a bar with the connect button above the terminal
// view and, to its right, a column for the batch and command-list panels that move
// between the sheets. The view and the column take the sheet's height.
struct ConsoleSheetLayout {
    TQelBtn* connectButton;
    TerminalView* view;
    QBoxLayout* panelRow;
};

// Lays out `sheet` with `barLeading` (for example the port choice) before the two-state
// connect button captioned `buttonCaption`.
ConsoleSheetLayout layOutConsoleSheet(QWidget* sheet, const QList<QWidget*>& barLeading,
                                      const QString& buttonCaption, const char* buttonName,
                                      const char* viewName);

} // namespace vantor
