#include "StatusBarPanels.h"

#include <QLabel>

namespace vantor {

namespace {
constexpr int kDesignWidths[] = {300, 190, 270, 200, 70};
constexpr const char* kNames[] = {"StatusPanel", "ProgressPanel", "MachinePanel", "ClockPanel", "VersionPanel"};
constexpr int kGap = 5; // the bevel between two panels
} // namespace

StatusBarPanels::StatusBarPanels(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StsBar"));
    for (int i = 0; i < 5; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QLatin1String(kNames[i]));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        m_panels.append(label);
        m_widths.append(kDesignWidths[i]);
    }
    setFixedHeight(fontMetrics().height() + 8);
    // The bar must not force a minimum window width: panel 0 shrinks to nothing instead.
    setMinimumWidth(0);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QString StatusBarPanels::text(int index) const {
    return m_panels.at(index)->text();
}

void StatusBarPanels::setText(int index, const QString& text) {
    m_panels.at(index)->setText(text);
}

void StatusBarPanels::setPanelWidth(int index, int width) {
    m_widths[index] = width;
    placePanels();
}

int StatusBarPanels::firstPanelWidth(int barWidth, const QList<int>& widths) {
    const int n = int(widths.size());
    if (n <= 0)
        return 0;
    int others = 0;
    for (int i = 1; i < n; ++i)
        others += widths.at(i);
    if (barWidth - others <= 0)
        return 0;
    return std::max(0, barWidth - others - kGap * (n - 1));
}

void StatusBarPanels::StsBarResize() {
    m_widths[0] = firstPanelWidth(width(), m_widths);
    placePanels();
}

void StatusBarPanels::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    StsBarResize();
}

void StatusBarPanels::placePanels() {
    int x = 0;
    for (int i = 0; i < m_panels.size(); ++i) {
        m_panels[i]->setGeometry(x, 0, m_widths.at(i), height());
        m_panels[i]->setVisible(m_widths.at(i) > 0);
        x += m_widths.at(i) + kGap;
    }
}

} // namespace vantor
