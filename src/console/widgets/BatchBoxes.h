#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

class QAbstractButton;
class QAction;
class QMenu;
class QPlainTextEdit;
class QTabWidget;

namespace vantor {

class TFormBatchTitle;
class TQelGroupBox;

// The seven batch boxes on the tabs of PageBatch ("- 1 -" to "- 7 -"). One line of a box is
// one command line. Tabs 1 to 4 hold the built-in batches (their texts follow the
// instrument family and are never stored); tabs 5 to 7 are the engineer's own, kept in
// "OS9Batch.INI" of the instrument data folder as sections "Batch5" to "Batch7".
//
// The boxes of tabs 5 to 7 have the menu PopupMenuBatch: "Save Batch" asks for a title in
// the batch title dialog and stores the batch of the tab showing when the title is
// confirmed; "Delete Batch" asks first, then removes the stored batch, empties the box and
// gives the batch its design captions again. A stored title is the caption of the batch's group box and
// of its button on the batch panel.
class BatchBoxes final : public QObject {
    Q_OBJECT
public:
    // `dataFolder` gives the instrument data folder at the moment the file is needed (the
    // family, and with it the folder, may change while the program runs). `startupLines`
    // and `seriesLines` are the design texts of tabs 1 and 4.
    BatchBoxes(std::function<QString()> dataFolder, const QStringList& startupLines,
               const QStringList& seriesLines, QObject* parent = nullptr);
    ~BatchBoxes() override;

    QTabWidget* PageBatch;
    TQelGroupBox* GrpStartup;
    TQelGroupBox* GrpAttr;
    TQelGroupBox* GrpReset;
    TQelGroupBox* GrpQEL740;
    TQelGroupBox* GrpBatch5;
    TQelGroupBox* GrpBatch6;
    TQelGroupBox* GrpBatch7;
    QPlainTextEdit* MemoStartup;
    QPlainTextEdit* MemoAttr;
    QPlainTextEdit* MemoReset;
    QPlainTextEdit* MemoQEL740;
    QPlainTextEdit* MemoBatch5;
    QPlainTextEdit* MemoBatch6;
    QPlainTextEdit* MemoBatch7;
    QMenu* PopupMenuBatch;
    QAction* SaveBatchItem;
    QAction* DeleteBatchItem;

    // The batch panel's buttons that carry the titles of batches 5, 6 and 7.
    void setUserBatchButtons(QAbstractButton* opt1, QAbstractButton* opt2, QAbstractButton* opt3);
    // The program's title dialog; its confirmed titles go to SetBatchTitle.
    void setTitleDialog(TFormBatchTitle* dialog);
    TFormBatchTitle* titleDialog() const;

    // The command lines of a box: a line break at the very end starts no further line, so
    // "a\nb\n" is two lines and an empty box none.
    static QStringList boxLines(const QPlainTextEdit* box);
    // Shows the lines in a box, each ended by a line break.
    static void setBoxLines(QPlainTextEdit* box, const QStringList& lines);

    // "OS9Batch.INI" in the instrument data folder. Throws FileError when there is no data
    // folder.
    QString batchFile() const;

    // Start-up: loads "Batch5", "Batch6" and "Batch7" into their boxes; a non-empty title
    // becomes the caption of the batch's group box and button.
    void loadUserBatches();

    // "Save Batch": shows the title dialog beside PageBatch without waiting for it.
    void SaveBatch();
    // "Delete Batch" for the user batch 5, 6 or 7.
    void DeleteBatch(int batch);
    // Stores the batch of the tab showing under `title` and shows the title; a box without
    // lines, or a built-in tab, changes nothing. Throws FileError when the file cannot be
    // written; the captions then stay.
    void SetBatchTitle(const QString& title);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct UserBatch {
        QString section;      // "Batch5"
        QString designGroup;  // "Batch5 "
        QString designButton; // "Batch5"
        TQelGroupBox* group = nullptr;
        QPlainTextEdit* box = nullptr;
        QPointer<QAbstractButton> button;
        int tab = 0;
    };

    QPlainTextEdit* addTab(const char* boxName, TQelGroupBox*& group, const char* groupName,
                           const QString& caption);
    void showTitle(UserBatch& batch, const QString& groupTitle, const QString& buttonTitle);
    void showPopup(int batch, const QPoint& globalPos);
    static void giveScrollBars(QPlainTextEdit* box);

    std::function<QString()> m_dataFolder;
    QPointer<QTabWidget> m_page; // owned by whichever sheet it was placed on
    std::array<UserBatch, 3> m_user;
    QPointer<TFormBatchTitle> m_titleDialog;
    int m_popupBatch = 5; // the batch whose box opened the menu
};

} // namespace vantor
