// The look shared by every window: the Korean font and the system colours
// the pages use (window background, caption colours of the title line).
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

// "굴림" (string 61303) first, then an installed Korean font (fonts-nanum).
QFont KoreanFont(int pointSize);

// COLOR_WINDOW: page and label background.
QColor WindowColour();
// COLOR_ACTIVECAPTION / COLOR_CAPTIONTEXT: the title line's background and text.
QColor ActiveCaptionColour();
QColor CaptionTextColour();
