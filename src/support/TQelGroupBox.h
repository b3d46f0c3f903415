#pragma once

#include <QGroupBox>

namespace vantor {

// A group box whose caption is embossed like the program's labels.
class TQelGroupBox : public QGroupBox {
    Q_OBJECT
public:
    explicit TQelGroupBox(QWidget* parent = nullptr);
    TQelGroupBox(const QString& title, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace vantor
