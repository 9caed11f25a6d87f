// SPDX-License-Identifier: Apache-2.0
// Draws the agent's own artwork: the flat button's five-cell skin and the lock screen's
// built-in picture. Not part of the build; run it once after changing a look:
//   g++ -std=c++20 -fPIC makeartwork.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/makeartwork
//   QT_QPA_PLATFORM=offscreen /tmp/makeartwork client/controls client/controls
#include <algorithm>
#include <cmath>

#include <QColor>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

constexpr int CellW = 18;
constexpr int CellH = 21;

struct Look
{
    QColor frame;   // outer one-pixel line
    QColor rim;     // the two inner rim pixels
    QColor faceTop; // face gradient, top
    QColor faceBottom;
};

// One cell: a one-pixel frame with cut corners, a two-pixel rim and a vertical gradient face.
void drawCell(QImage& img, int cell, const Look& l)
{
    const int x0 = cell * CellW;
    for (int y = 0; y < CellH; ++y) {
        const double t = double(y) / (CellH - 1);
        const QColor face = QColor::fromRgbF(
            float(l.faceTop.redF() + (l.faceBottom.redF() - l.faceTop.redF()) * t),
            float(l.faceTop.greenF() + (l.faceBottom.greenF() - l.faceTop.greenF()) * t),
            float(l.faceTop.blueF() + (l.faceBottom.blueF() - l.faceTop.blueF()) * t));
        for (int x = 0; x < CellW; ++x) {
            const int edge = std::min({x, y, CellW - 1 - x, CellH - 1 - y});
            const bool cornerCut = (x == 0 || x == CellW - 1) && (y == 0 || y == CellH - 1);
            QColor c;
            if (cornerCut)
                c = QColor(0, 0, 0, 0);
            else if (edge == 0)
                c = l.frame;
            else if (edge < 3)
                c = l.rim;
            else
                c = face;
            img.setPixelColor(x0 + x, y, c);
        }
    }
}

QImage skin()
{
    QImage img(5 * CellW, CellH, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    const Look looks[5] = {
        // normal: cool blue frame, pale face
        {QColor(0x1f, 0x3f, 0x6e), QColor(0xf4, 0xf8, 0xfc), QColor(0xfb, 0xfd, 0xff),
         QColor(0xd8, 0xe2, 0xee)},
        // pressed: the face sinks and darkens
        {QColor(0x1f, 0x3f, 0x6e), QColor(0xa9, 0xb9, 0xcf), QColor(0xb8, 0xc6, 0xd8),
         QColor(0xe0, 0xe7, 0xf0)},
        // disabled: flat grey
        {QColor(0xb4, 0xb4, 0xa8), QColor(0xee, 0xee, 0xe8), QColor(0xf0, 0xf0, 0xea),
         QColor(0xf0, 0xf0, 0xea)},
        // mouse over: warm rim
        {QColor(0x1f, 0x3f, 0x6e), QColor(0xf7, 0xb6, 0x4a), QColor(0xff, 0xfb, 0xf0),
         QColor(0xf2, 0xe3, 0xc4)},
        // alternative rest look: green tint
        {QColor(0x2a, 0x5a, 0x2a), QColor(0xe6, 0xf4, 0xe0), QColor(0xf1, 0xfa, 0xec),
         QColor(0xbf, 0xdc, 0xb2)},
    };
    for (int c = 0; c < 5; ++c)
        drawCell(img, c, looks[c]);
    return img;
}

QImage lockPicture()
{
    const int w = 640, h = 400;
    QImage img(w, h, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(0x0b, 0x1e, 0x3a));
    sky.setColorAt(1, QColor(0x1d, 0x4f, 0x7a));
    p.fillRect(img.rect(), sky);
    // A ring of soft discs: a quiet, original emblem.
    for (int i = 0; i < 12; ++i) {
        const double a = i * 3.14159265 / 6;
        const QPointF c(w / 2 + 120 * std::cos(a), h / 2 - 30 + 120 * std::sin(a) * 0.55);
        QRadialGradient g(c, 34);
        g.setColorAt(0, QColor(0x6f, 0xc3, 0xdf, 200));
        g.setColorAt(1, QColor(0x6f, 0xc3, 0xdf, 0));
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, 34, 34);
    }
    QPainterPath wave;
    wave.moveTo(0, h * 0.78);
    wave.cubicTo(w * 0.3, h * 0.68, w * 0.6, h * 0.9, w, h * 0.76);
    wave.lineTo(w, h);
    wave.lineTo(0, h);
    wave.closeSubpath();
    p.fillPath(wave, QColor(0xff, 0xff, 0xff, 28));
    QFont f(QStringLiteral("DejaVu Sans"), 40, QFont::Bold);
    p.setFont(f);
    p.setPen(QColor(0xee, 0xf6, 0xfb));
    p.drawText(QRect(0, h / 2 - 70, w, 80), Qt::AlignCenter, QStringLiteral("Vantiro"));
    f.setPointSize(14);
    f.setBold(false);
    p.setFont(f);
    p.setPen(QColor(0xb8, 0xd4, 0xe6));
    p.drawText(QRect(0, h / 2 + 5, w, 40), Qt::AlignCenter,
               QStringLiteral("This workstation is locked. Please ask at the counter."));
    p.end();
    return img;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const bool ok =
        skin().save(QString::fromLocal8Bit(argv[1]) + QStringLiteral("/xpskin.png")) &&
        lockPicture().save(QString::fromLocal8Bit(argv[2]) + QStringLiteral("/lockpicture.png"));
    return ok ? 0 : 1;
}
