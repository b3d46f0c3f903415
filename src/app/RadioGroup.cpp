#include "RadioGroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vantor {

RadioGroup::RadioGroup(const QString& caption, const QStringList& items, QWidget* parent)
    : QGroupBox(caption, parent), m_group(new QButtonGroup(this)) {
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* button = new QRadioButton(items.at(i), this);
        m_group->addButton(button, i);
        m_buttons.append(button);
        layout->addWidget(button);
    }
    layout->addStretch();
    connect(m_group, &QButtonGroup::idClicked, this, &RadioGroup::itemClicked);
}

int RadioGroup::itemIndex() const {
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index) {
    if (index < 0 || index >= m_buttons.size()) {
        // An exclusive group refuses to uncheck its last button, so step out of exclusive
        // mode for the moment of the reset.
        m_group->setExclusive(false);
        for (QRadioButton* b : std::as_const(m_buttons))
            b->setChecked(false);
        m_group->setExclusive(true);
        return;
    }
    m_buttons.at(index)->setChecked(true);
}

QString RadioGroup::itemText(int index) const {
    return (index >= 0 && index < m_buttons.size()) ? m_buttons.at(index)->text() : QString();
}

} // namespace vantor
