#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTableWidget>

#include <functional>

namespace vantor {

class TQelGroupBox;

// A grid in which choosing a cell, by a click of the left button (also on the cell that is
// already current) or by the keyboard, raises cellSelected(). Dragging the pointer across
// the grid chooses nothing, so a sweep of the mouse cannot fire one command after another,
// and typing a letter does not jump to a command.
class CommandGrid final : public QTableWidget {
    Q_OBJECT
public:
    CommandGrid(int rows, int columns, QWidget* parent = nullptr);

    // Makes a cell current without raising cellSelected().
    void setCurrentCellQuietly(int row, int column);

Q_SIGNALS:
    void cellSelected(int row, int column);

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // Typing in the grid must not jump to (and so send) a command that starts with the key.
    void keyboardSearch(const QString&) override {}

private:
    bool m_quiet = false;
    bool m_chosenByPress = false;
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
