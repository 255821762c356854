#include "group_box.h"

#include <QPainter>

#include <algorithm>

namespace {
constexpr int kTitleIndent = 6; // pixels from the frame's left edge to the title's background
constexpr int kTitlePad = 2;    // window colour either side of the title text
} // namespace

CGroupBox::CGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

QRect CGroupBox::TitleRect() const {
    QFontMetrics metrics(font());
    int width = metrics.horizontalAdvance(title());
    return QRect(kTitleIndent + kTitlePad, 0, std::min(width, std::max(0, this->width() - 2 * kTitleIndent)),
                 metrics.height());
}

int CGroupBox::FrameTop() const {
    return QFontMetrics(font()).height() / 2;
}

void CGroupBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QPalette& colours = palette();
    QRect frame(0, FrameTop(), width() - 1, height() - FrameTop() - 1);
    painter.setPen(colours.color(QPalette::Mid));
    painter.drawRect(frame);
    QRect label = TitleRect();
    if (label.width() > 0) {
        painter.fillRect(label.adjusted(-kTitlePad, 0, kTitlePad, 0), colours.color(QPalette::Window));
        painter.setPen(
            colours.color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        painter.drawText(label, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, title());
    }
}
