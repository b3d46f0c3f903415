#include "FormBatchTitle.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantor {

TFormBatchTitle::TFormBatchTitle(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormBatchTitle"));
    setWindowTitle(QStringLiteral("Batch Title"));
    setModal(false);

    EditBatchTit = new QLineEdit(this);
    EditBatchTit->setObjectName(QStringLiteral("EditBatchTit"));
    EditBatchTit->setMinimumWidth(240);
    BTnOK = new QPushButton(QStringLiteral("O. K. "), this);
    BTnOK->setObjectName(QStringLiteral("BTnOK"));
    BTnOK->setDefault(true);
    BtnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    BtnCancel->setObjectName(QStringLiteral("BtnCancel"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BTnOK);
    buttons->addWidget(BtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(EditBatchTit);
    layout->addLayout(buttons);

    connect(BTnOK, &QPushButton::clicked, this, &TFormBatchTitle::BTnOKClick);
    connect(BtnCancel, &QPushButton::clicked, this, &TFormBatchTitle::reject);
}

void TFormBatchTitle::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    EditBatchTit->setFocus();
}

void TFormBatchTitle::BTnOKClick() {
    m_title = EditBatchTit->text();
    EditBatchTit->clear();
    QDialog::accept();
    Q_EMIT titleConfirmed(m_title);
}

void TFormBatchTitle::reject() {
    m_title.clear();
    EditBatchTit->clear();
    QDialog::reject();
}

} // namespace vantor
