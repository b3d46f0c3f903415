#pragma once

#include <QList>
#include <QWidget>

class QLabel;

namespace vantor {

// The main window's five-panel status bar. Panels 1 to n-1 keep their design widths;
// panel 0 takes what is left of the bar's width (StsBarResize).
class StatusBarPanels final : public QWidget {
    Q_OBJECT
public:
    enum Panel { StatusPanel = 0, ProgressPanel, MachinePanel, ClockPanel, VersionPanel };

    explicit StatusBarPanels(QWidget* parent = nullptr);

    int count() const { return int(m_panels.size()); }
    QLabel* panel(int index) const { return m_panels.at(index); }
    QString text(int index) const;
    void setText(int index, const QString& text);
    int panelWidth(int index) const { return m_widths.at(index); }
    void setPanelWidth(int index, int width);

    // Width of panel 0 for a bar of `barWidth` pixels and the given panel widths; never
    // negative.
    static int firstPanelWidth(int barWidth, const QList<int>& widths);

    void StsBarResize();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void placePanels();

    QList<QLabel*> m_panels;
    QList<int> m_widths;
};

} // namespace vantor
