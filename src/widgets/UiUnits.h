#pragma once

#include <QColor>
#include <QRect>

namespace wendmoor {

// Window layouts are kept in twips (1/1440 inch), 15 twips to a pixel at 96 dpi.
[[nodiscard]] constexpr int twips(int value)
{
    return value / 15;
}
[[nodiscard]] inline QRect twipsRect(int left, int top, int width, int height)
{
    return { twips(left), twips(top), twips(width), twips(height) };
}
// A colour written as &H00BBGGRR.
[[nodiscard]] inline QColor bgrColor(unsigned value)
{
    return QColor(
        static_cast<int>(value & 0xff), static_cast<int>((value >> 8) & 0xff), static_cast<int>((value >> 16) & 0xff));
}

} // namespace wendmoor
