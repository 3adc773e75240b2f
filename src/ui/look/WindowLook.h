#pragma once

#include <QColor>
#include <QFont>
#include <QRect>

class QWidget;

// The fixed windows (event window, explorer, options) were laid out in twips; 15 twips make one
// pixel.
constexpr int pixels(int twips) {
    return twips / 15;
}

constexpr QRect twipRect(int left, int top, int width, int height) {
    return QRect(pixels(left), pixels(top), pixels(width), pixels(height));
}

// The light blue behind the program's fixed windows.
inline constexpr QColor WindowBlue(192, 192, 255);

// Verdana 8.25 point, or the desktop's sans-serif where Verdana is not installed.
QFont verdanaFont();

// Fills the window's background, or a button's face, with `colour`.
void paintBackground(QWidget* window, const QColor& colour);
void paintButton(QWidget* button, const QColor& colour);
