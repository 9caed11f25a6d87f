// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QPixmap>
#include <QPushButton>
#include <QTimer>

class QPainter;

// The agent's flat push button. It draws itself from a five-cell skin picture so that it looks
// the same under every style: lit while the pointer is over it, sunk while pressed, greyed when
// disabled, and with an alternative rest look when State is 1. Otherwise it is an ordinary
// QPushButton: "&" in the caption gives its access key, clicked() fires on click, Space or the
// access key.
class XpCmdButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(int State READ state WRITE setState)

public:
    // The skin's cells, one per look.
    enum Cell
    {
        Normal = 0,
        Pressed = 1,
        Disabled = 2,
        Hover = 3,
        Alternative = 4
    };
    static constexpr int CellWidth = 18;
    static constexpr int CellHeight = 21;
    static constexpr int Border = 3;
    // How often the pointer is watched after it moved over the button.
    static constexpr int WatchIntervalMs = 10;

    explicit XpCmdButton(QWidget* parent = nullptr);
    explicit XpCmdButton(const QString& caption, QWidget* parent = nullptr);

    // 0: normal rest look; 1: the alternative rest look. Other values count as 0.
    int state() const { return m_state; }
    void setState(int state);

    // The cell the button shows now.
    int currentCell() const;
    // The caption colour for the current enabled state.
    QColor captionColor() const;
    static QColor disabledCaptionColor() { return QColor(161, 161, 146); }

    // The skin strip (five cells side by side).
    static const QPixmap& skin();
    // Paints one skin cell over the rectangle in nine pieces: unscaled corners, edges stretched
    // along their length, centre stretched both ways. Below 6 pixels only the corners are drawn.
    static void paintCell(QPainter& p, const QPixmap& skin, int cell, const QRect& target);

Q_SIGNALS:
    // The pointer left the button after moving over it; raised once per visit.
    void MouseOut();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void init();
    void watchPointer();
    void applyCaptionColor();

    int m_state = 0;
    bool m_hover = false;
    QTimer m_watch;
};
