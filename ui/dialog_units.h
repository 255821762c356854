// The one place where dialog units become pixels.
//
// Templates are laid out in dialog units of their font, "굴림" 8 pt. At 96 dpi
// that font's base units are taken as 6 x 12 pixels, so one horizontal unit is
// 6/4 = 1.5 px and one vertical unit 12/8 = 1.5 px. The conversion is fixed
// rather than measured, so a page looks the same whichever Korean font stands
// in for "굴림" on this machine.
#pragma once

#include <QRect>

inline constexpr int kDialogBaseUnitX = 6;
inline constexpr int kDialogBaseUnitY = 12;

inline int DialogUnitsToPixelsX(int units) {
    return (units * kDialogBaseUnitX + 2) / 4;
}
inline int DialogUnitsToPixelsY(int units) {
    return (units * kDialogBaseUnitY + 4) / 8;
}
inline QRect DialogRectToPixels(int x, int y, int width, int height) {
    return QRect(DialogUnitsToPixelsX(x), DialogUnitsToPixelsY(y), DialogUnitsToPixelsX(width),
                 DialogUnitsToPixelsY(height));
}
