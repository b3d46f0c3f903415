#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>

#include <functional>

class QAbstractButton;
class QPlainTextEdit;

namespace vantor {

class BatchBoxes;
class TQELSpeedButton;
class TQelGroupBox;

// The batch panel PnlBaseBatch ("Batch  File  ") of the console sheets: seven buttons that
// send the batch boxes line by line and three that send fixed commands. Everything goes
// out through the console routing given at construction; each command line ends with CR.
class BatchPanel final : public QObject {
    Q_OBJECT
public:
    using Send = std::function<void(const QByteArray&)>;

    BatchPanel(BatchBoxes& boxes, Send send, QObject* parent = nullptr);
    ~BatchPanel() override;

    TQelGroupBox* PnlBaseBatch;
    TQELSpeedButton* BtnStartup;
    TQELSpeedButton* BtnAttr;
    TQELSpeedButton* BtnReset;
    TQELSpeedButton* BtnQEL740;
    TQELSpeedButton* BtnOpt1;
    TQELSpeedButton* BtnOpt2;
    TQELSpeedButton* BtnOpt3;
    TQELSpeedButton* BtnAbort;
    TQELSpeedButton* BtnStartQel2;
    TQELSpeedButton* BtnAdjTime;

    // The one handler of all ten buttons; it decides by the button.
    void BatchButtonClick(QAbstractButton* button);
    // Sends every line of the box, each followed by CR, one after the other without
    // waiting; an empty box sends nothing.
    void SendBatch(const QPlainTextEdit* box);

    // The PC clock that "Ajdust Time" reads; the local time unless a test fixes it.
    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

private:
    TQELSpeedButton* addButton(const char* name, const QString& caption, int row, int column);

    BatchBoxes& m_boxes;
    Send m_send;
    std::function<QDateTime()> m_clock;
    QPointer<TQelGroupBox> m_panel; // owned by whichever sheet it was placed on
};

} // namespace vantor
