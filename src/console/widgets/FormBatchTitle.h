#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace vantor {

// The modeless dialog that asks for a user batch's title ("Batch Title"). It lives as long
// as the program; the batch boxes place it and show it when a batch is to be saved.
//
// OK keeps the edit's text as the title and raises titleConfirmed(); Cancel (the button,
// Escape or closing the window) forgets the title. Either way the edit is emptied and the
// dialog closes.
class TFormBatchTitle final : public QDialog {
    Q_OBJECT
public:
    explicit TFormBatchTitle(QWidget* parent = nullptr);

    QLineEdit* EditBatchTit;
    QPushButton* BTnOK;
    QPushButton* BtnCancel;

    // The last confirmed title; empty after a Cancel.
    QString title() const { return m_title; }

    void reject() override;

Q_SIGNALS:
    // Raised after the dialog has closed, so that a failing save cannot leave it half done.
    void titleConfirmed(const QString& title);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BTnOKClick();

    QString m_title;
};

} // namespace vantor
