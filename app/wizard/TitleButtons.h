// The frameless window's own close and minimise buttons at its top right corner.
#pragma once

#include <QColor>
#include <QPushButton>

class QWidget;

// mode 2: red glyphs (error pages); any other mode: dark glyphs.
// False unless `window` is a window. A second call only re-styles the buttons it finds.
bool installTitleButtons(QWidget* window, int mode);

// A title button draws its glyph itself (a cross or a bar), so it needs no symbol font.
class TitleButton : public QPushButton {
    Q_OBJECT
public:
    enum class Glyph { Close, Minimise };
    TitleButton(Glyph glyph, QWidget* parent);

    void setGlyphColor(const QColor& color);
    QColor glyphColor() const { return m_color; }
    Glyph glyph() const { return m_glyph; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Glyph m_glyph;
    QColor m_color;
};
