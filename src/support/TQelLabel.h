#pragma once

#include <QLabel>

namespace vantor {

// A label with embossed text. While it sizes itself to its text (AutoSize, the default)
// the text is drawn twice, offset by emboss::offset(); otherwise it paints as a plain
// label. A label that is not transparent fills its background first.
class TQelLabel : public QLabel {
    Q_OBJECT
public:
    explicit TQelLabel(QWidget* parent = nullptr);
    TQelLabel(const QString& text, QWidget* parent = nullptr);

    void setAutoSize(bool autoSize);
    bool autoSize() const { return m_autoSize; }
    void setTransparent(bool transparent);
    bool transparent() const { return m_transparent; }

    // Also fits the label to the new text while it sizes itself.
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitToText();

    bool m_autoSize = true;
    bool m_transparent = true;
};

} // namespace vantor
