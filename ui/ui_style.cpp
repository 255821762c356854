#include "ui_style.h"

#include "res/strings.h"

#include <QStringList>

QFont KoreanFont(int pointSize) {
    QFont font;
    font.setFamilies({QString::fromUtf8(LoadStringText(IDS_FONT_NAME)), QStringLiteral("Gulim"),
                      QStringLiteral("NanumGothic"), QStringLiteral("NanumBarunGothic"),
                      QStringLiteral("Noto Sans CJK KR"), QStringLiteral("UnDotum")});
    font.setPointSize(pointSize);
    return font;
}

// The classic Windows scheme: these are the colours the pages were drawn for,
// and fixing them keeps the look independent of the desktop's theme.
QColor WindowColour() {
    return QColor(255, 255, 255);
}

QColor ActiveCaptionColour() {
    return QColor(10, 36, 106);
}

QColor CaptionTextColour() {
    return QColor(255, 255, 255);
}
