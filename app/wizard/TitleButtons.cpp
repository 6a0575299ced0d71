#include "TitleButtons.h"

#include "startup/ProcessEnd.h"

#include <QPainter>
#include <QPen>

namespace {

const QColor kDark(47, 49, 50);
const QColor kRed(255, 41, 71);
const QColor kHover(255, 255, 255);

// The glyph box inside the padding (6px around, 2px on top) for a 12px glyph.
constexpr int kGlyph = 12;
constexpr int kPad = 6;
constexpr int kPadTop = 2;

QString titleStyle(const QColor& glyph)
{
    return QStringLiteral("QPushButton { border: none; margin: 0px; padding: 6px; padding-top: 2px; "
                          "font: 12px 'Webdings'; color: rgb(%1, %2, %3); background-color: transparent; } "
                          "QPushButton:hover { color: rgb(255, 255, 255); }")
        .arg(glyph.red())
        .arg(glyph.green())
        .arg(glyph.blue());
}

}  // namespace

TitleButton::TitleButton(Glyph glyph, QWidget* parent) : QPushButton(parent), m_glyph(glyph), m_color(kDark)
{
    setAttribute(Qt::WA_Hover);
}

void TitleButton::setGlyphColor(const QColor& color)
{
    m_color = color;
    update();
}

QSize TitleButton::sizeHint() const
{
    return QSize(kGlyph + 2 * kPad, kGlyph + kPadTop + kPad);
}

void TitleButton::paintEvent(QPaintEvent* event)
{
    QPushButton::paintEvent(event);
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(kPad + 1.5, kPadTop + 1.5, kGlyph - 3.0, kGlyph - 3.0);
    QPen pen(underMouse() ? kHover : m_color, 1.6);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    if (m_glyph == Glyph::Close) {
        painter.drawLine(box.topLeft(), box.bottomRight());
        painter.drawLine(box.topRight(), box.bottomLeft());
    } else {
        pen.setWidthF(2.0);
        painter.setPen(pen);
        painter.drawLine(QPointF(box.left(), box.bottom()), QPointF(box.right(), box.bottom()));
    }
}

bool installTitleButtons(QWidget* window, int mode)
{
    if (!window || !window->isWindow())
        return false;
    if (!(window->windowFlags() & Qt::FramelessWindowHint))
        window->setWindowFlags(Qt::FramelessWindowHint);
    const QColor glyph = mode == 2 ? kRed : kDark;
    const QString style = titleStyle(glyph);

    auto restyle = [&](QPushButton* button) {
        button->setStyleSheet(style);
        if (auto* title = qobject_cast<TitleButton*>(button))
            title->setGlyphColor(glyph);
    };

    QPushButton* close = window->findChild<QPushButton*>(QStringLiteral("CloseButton"));
    if (close) {
        restyle(close);
    } else {
        close = new TitleButton(TitleButton::Glyph::Close, window);
        close->setObjectName(QStringLiteral("CloseButton"));
        restyle(close);
        close->setFlat(true);
        close->adjustSize();
        close->setFocusPolicy(Qt::NoFocus);
        close->move(window->width() - 5 - close->width(), 2);
        QObject::connect(close, &QPushButton::clicked, window, [] { quitApplication(); });
        close->show();
    }

    QPushButton* minimise = window->findChild<QPushButton*>(QStringLiteral("MinimizeButton"));
    if (minimise) {
        restyle(minimise);
    } else {
        minimise = new TitleButton(TitleButton::Glyph::Minimise, window);
        minimise->setObjectName(QStringLiteral("MinimizeButton"));
        restyle(minimise);
        minimise->setFlat(true);
        minimise->adjustSize();
        minimise->setFocusPolicy(Qt::NoFocus);
        minimise->move(close->x() - minimise->width(), 2);
        QObject::connect(minimise, &QPushButton::clicked, window, [window] { window->showMinimized(); });
        minimise->show();
    }
    return true;
}
