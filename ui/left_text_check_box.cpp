#include "left_text_check_box.h"

#include <QStyleOptionButton>
#include <QStylePainter>

CLeftTextCheckBox::CLeftTextCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

QRect CLeftTextCheckBox::IndicatorRect() const {
    int width = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    int height = style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this);
    return QRect(rect().right() - width + 1, (rect().height() - height) / 2, width, height);
}

void CLeftTextCheckBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    QStyleOptionButton box = option;
    box.rect = IndicatorRect();
    painter.drawPrimitive(QStyle::PE_IndicatorCheckBox, box);
    QRect label = rect().adjusted(0, 0, -box.rect.width() - 4, 0);
    painter.drawItemText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, option.palette,
                         isEnabled(), text(), QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = box.rect.adjusted(-1, -1, 1, 1);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

bool CLeftTextCheckBox::hitButton(const QPoint& pos) const {
    return rect().contains(pos);
}
