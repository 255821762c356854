#include "spin_button.h"

#include "binding_text.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

CSpinButton::CSpinButton(QWidget* parent)
    : QWidget(parent), UpButton(new QToolButton(this)), DownButton(new QToolButton(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {UpButton, DownButton}) {
        button->setArrowType(button == UpButton ? Qt::UpArrow : Qt::DownArrow);
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
        layout->addWidget(button);
    }
    UpButton->setObjectName(QStringLiteral("up"));
    DownButton->setObjectName(QStringLiteral("down"));
    connect(UpButton, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(DownButton, &QToolButton::clicked, this, [this] { Step(-1); });
}

void CSpinButton::SetBuddy(QLineEdit* buddy) {
    if (Buddy) Buddy->removeEventFilter(this);
    Buddy = buddy;
    if (Buddy) Buddy->installEventFilter(this);
}

void CSpinButton::SetRange32(int minimum, int maximum) {
    Minimum = minimum;
    Maximum = maximum;
}

void CSpinButton::GetRange32(int& minimum, int& maximum) const {
    minimum = Minimum;
    maximum = Maximum;
}

int CSpinButton::Clamp(int position) const {
    int low = std::min(Minimum, Maximum);
    int high = std::max(Minimum, Maximum);
    return std::clamp(position, low, high);
}

void CSpinButton::SetPos32(int position) {
    Position = Clamp(position);
    WriteBuddy();
}

int CSpinButton::GetPos32() const {
    return Position;
}

void CSpinButton::WriteBuddy() {
    if (!Buddy) return;
    QString text = QString::fromStdString(FormatSpinPosition(Position, Thousands));
    if (Buddy->text() == text)
        emit Buddy->textChanged(text); // setting the same text still notifies, as an edit control does
    else
        Buddy->setText(text);
}

void CSpinButton::Step(int direction) {
    if (!isEnabled()) return;
    // The buddy's text is the position the user sees; start from it when it holds a number.
    int current = Position;
    if (Buddy) {
        int shown = 0;
        if (ParseSpinText(Buddy->text().toStdString(), shown)) current = shown;
    }
    long long next = static_cast<long long>(current) + (Minimum <= Maximum ? direction : -direction);
    int clamped = Clamp(static_cast<int>(std::clamp<long long>(next, INT32_MIN, INT32_MAX)));
    if (clamped == current && clamped == Position) return;
    Position = clamped;
    WriteBuddy();
}

bool CSpinButton::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Buddy && event->type() == QEvent::KeyPress && isEnabled()) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Step(key->key() == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
