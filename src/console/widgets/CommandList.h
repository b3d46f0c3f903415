#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTableWidget>

#include <functional>

namespace vantor {

class TQelGroupBox;

// A grid in which a cell is chosen, raising cellSelected(), by a click of the left button
// (also on the cell that is already current) or by Enter or Space on the current cell.
// Moving through the grid with the arrow keys chooses nothing, so walking past the
// "dsave" rows sends none of them; neither does dragging the pointer across the grid, nor
// typing a letter (which would jump to a command starting with it).
class CommandGrid final : public QTableWidget {
    Q_OBJECT
public:
    CommandGrid(int rows, int columns, QWidget* parent = nullptr);

    // Makes a cell current without raising cellSelected().
    void setCurrentCellQuietly(int row, int column);

Q_SIGNALS:
    void cellSelected(int row, int column);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyboardSearch(const QString&) override {}
};

// The command list panel PnlBaseCmdList ("Command List  "): a grid of ready commands beside
// their row numbers; choosing a cell sends its text followed by CR through the console
// routing given at construction (the routing decides whether anything goes out).
class CommandList final : public QObject {
    Q_OBJECT
public:
    using Send = std::function<void(const QByteArray&)>;

    static constexpr int kRows = 100;
    static constexpr int kNumberWidth = 40;
    static constexpr int kCommandWidth = 476;

    explicit CommandList(Send send, QObject* parent = nullptr);
    ~CommandList() override;

    TQelGroupBox* PnlBaseCmdList;
    CommandGrid* GridCmdList;

    // Start-up: the row numbers "1" to "100" and the listed commands.
    void fill();
    // A chosen cell: a non-empty text goes out with CR; an empty cell sends nothing.
    void GridCmdListSelectCell(int column, int row);

private:
    Send m_send;
    QPointer<TQelGroupBox> m_panel; // owned by whichever sheet it was placed on
};

} // namespace vantor
