#pragma once

#include <QGroupBox>
#include <QList>

class QButtonGroup;
class QRadioButton;

namespace vantor {

// A captioned group of radio buttons with an item index, where "nothing selected" (-1) is
// a real state that the program can return to, as the instrument workflow needs.
class RadioGroup final : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& caption, const QStringList& items, QWidget* parent = nullptr);

    int itemIndex() const;
    // Selects an item without emitting itemClicked; -1 deselects every item.
    void setItemIndex(int index);
    QString itemText(int index) const;
    int count() const { return int(m_buttons.size()); }
    QRadioButton* button(int index) const { return m_buttons.at(index); }

Q_SIGNALS:
    // The engineer clicked an item (also when it was selected already).
    void itemClicked(int index);

private:
    QButtonGroup* m_group;
    QList<QRadioButton*> m_buttons;
};

} // namespace vantor
