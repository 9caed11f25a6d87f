// SPDX-License-Identifier: Apache-2.0
#include "client/controls/xpcmdbutton.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

// The resource lives in a static library: pull it in explicitly (outside any namespace, as
// the macro declares a global function).
static void initSkinResource()
{
    Q_INIT_RESOURCE(xpcmdbutton);
}

XpCmdButton::XpCmdButton(QWidget* parent) : QPushButton(parent)
{
    init();
}

XpCmdButton::XpCmdButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent)
{
    init();
}

void XpCmdButton::init()
{
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover, false);
    setAutoDefault(false);
    m_watch.setInterval(WatchIntervalMs);
    connect(&m_watch, &QTimer::timeout, this, &XpCmdButton::watchPointer);
    applyCaptionColor();
}

const QPixmap& XpCmdButton::skin()
{
    static const QPixmap pix = [] {
        initSkinResource();
        QPixmap p(QStringLiteral(":/controls/xpskin.png"));
        if (p.isNull()) {
            // Never leave a button invisible: a plain grey strip stands in.
            p = QPixmap(5 * CellWidth, CellHeight);
            p.fill(QColor(0xe0, 0xe0, 0xe0));
        }
        return p;
    }();
    return pix;
}

void XpCmdButton::setState(int state)
{
    m_state = state == 1 ? 1 : 0;
    update();
}

int XpCmdButton::currentCell() const
{
    if (!isEnabled())
        return Disabled;
    if (isDown())
        return Pressed;
    if (m_hover)
        return Hover;
    return m_state == 1 ? Alternative : Normal;
}

QColor XpCmdButton::captionColor() const
{
    return isEnabled() ? QColor(Qt::black) : disabledCaptionColor();
}

void XpCmdButton::applyCaptionColor()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Active, QPalette::ButtonText, Qt::black);
    pal.setColor(QPalette::Inactive, QPalette::ButtonText, Qt::black);
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, disabledCaptionColor());
    setPalette(pal);
}

void XpCmdButton::paintCell(QPainter& p, const QPixmap& skin, int cell, const QRect& target)
{
    constexpr int b = Border;
    constexpr int innerW = CellWidth - 2 * b;  // 12
    constexpr int innerH = CellHeight - 2 * b; // 15
    const int sx = cell * CellWidth;
    const int x = target.x();
    const int y = target.y();
    const int w = target.width();
    const int h = target.height();
    if (w <= 0 || h <= 0)
        return;

    // Corners, unscaled.
    p.drawPixmap(QRect(x, y, b, b), skin, QRect(sx, 0, b, b));
    p.drawPixmap(QRect(x + w - b, y, b, b), skin, QRect(sx + CellWidth - b, 0, b, b));
    p.drawPixmap(QRect(x, y + h - b, b, b), skin, QRect(sx, CellHeight - b, b, b));
    p.drawPixmap(QRect(x + w - b, y + h - b, b, b), skin,
                 QRect(sx + CellWidth - b, CellHeight - b, b, b));
    if (w < 2 * b || h < 2 * b)
        return;

    const int midW = w - 2 * b;
    const int midH = h - 2 * b;
    if (midW > 0) {
        p.drawPixmap(QRect(x + b, y, midW, b), skin, QRect(sx + b, 0, innerW, b));
        p.drawPixmap(QRect(x + b, y + h - b, midW, b), skin,
                     QRect(sx + b, CellHeight - b, innerW, b));
    }
    if (midH > 0) {
        p.drawPixmap(QRect(x, y + b, b, midH), skin, QRect(sx, b, b, innerH));
        p.drawPixmap(QRect(x + w - b, y + b, b, midH), skin,
                     QRect(sx + CellWidth - b, b, b, innerH));
    }
    if (midW > 0 && midH > 0)
        p.drawPixmap(QRect(x + b, y + b, midW, midH), skin, QRect(sx + b, b, innerW, innerH));
}

void XpCmdButton::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    paintCell(p, skin(), currentCell(), rect());

    p.setFont(font());
    p.setPen(captionColor());
    QRect textRect = rect();
    if (isDown())
        textRect.translate(1, 1);
    p.drawText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic, text());

    if (hasFocus()) {
        QStyleOptionFocusRect opt;
        opt.initFrom(this);
        opt.rect = rect().adjusted(Border + 1, Border + 1, -Border - 1, -Border - 1);
        p.drawPrimitive(QStyle::PE_FrameFocusRect, opt);
    }
}

void XpCmdButton::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_watch.isActive())
        m_watch.start();
    const bool inside = rect().contains(event->position().toPoint());
    if (inside != m_hover) {
        m_hover = inside;
        update();
    }
    QPushButton::mouseMoveEvent(event);
}

void XpCmdButton::mousePressEvent(QMouseEvent* event)
{
    QPushButton::mousePressEvent(event);
    update();
}

void XpCmdButton::mouseReleaseEvent(QMouseEvent* event)
{
    QPushButton::mouseReleaseEvent(event);
    update();
}

void XpCmdButton::leaveEvent(QEvent* event)
{
    // The watch timer alone would notice within 10 ms; checking now makes it immediate.
    watchPointer();
    QPushButton::leaveEvent(event);
}

void XpCmdButton::watchPointer()
{
    if (!m_watch.isActive())
        return;
    if (rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    m_watch.stop();
    m_hover = false;
    update();
    Q_EMIT MouseOut();
}

void XpCmdButton::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            m_hover = false;
            m_watch.stop();
        }
        update();
    }
    QPushButton::changeEvent(event);
}

void XpCmdButton::hideEvent(QHideEvent* event)
{
    m_watch.stop();
    m_hover = false;
    QPushButton::hideEvent(event);
}
