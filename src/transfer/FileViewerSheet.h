#pragma once

#include "TextFileCodec.h"

#include <QObject>

class QLabel;
class QPlainTextEdit;
class QWidget;

namespace vantor {

class TQelBtn;

// The File Viewer sheet: two local text files side by side, each editable and saved back
// to its file when its pane is closed.
class FileViewerSheet final : public QObject {
    Q_OBJECT
public:
    explicit FileViewerSheet(QWidget* sheet);

    TQelBtn* BtnEditFile1;
    TQelBtn* BtnEditFile2;
    QLabel* LblEditFile1;
    QLabel* LblEditFile2;
    QPlainTextEdit* MemoEditFile1;
    QPlainTextEdit* MemoEditFile2;

    // Click handler of both OPEN buttons; the pane is chosen by the button.
    void BTnEditFileClick(TQelBtn* button);

private:
    struct Pane {
        TQelBtn* button;
        QLabel* label;
        QPlainTextEdit* memo;
        TextFileContent stored; // how the open file was stored, for writing it back
    };
    Pane& paneOf(TQelBtn* button);
    void openInto(Pane& pane);
    void close(Pane& pane);

    Pane m_panes[2];
    QString m_openFolder;
};

} // namespace vantor
