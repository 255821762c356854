#include "template_builder.h"

#include "ansi_text.h"
#include "dialog_units.h"
#include "group_box.h"
#include "res/strings.h"
#include "left_text_check_box.h"
#include "spin_button.h"
#include "ui_style.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolTip>
#include <QValidator>

#include <algorithm>

namespace {

// The length limit of a text edit, counted in bytes of the ANSI code page as the
// printer receives them. What the user types or pastes is compared with the text
// before: an insertion keeps only the whole characters that fit (a Windows edit
// does the same with a paste), a deletion always goes through, so a text set
// longer than the limit can be shortened. A character the code page lacks is
// refused with a tip saying why.
class TypingLimit : public QValidator {
  public:
    TypingLimit(QLineEdit* edit, int limit)
        : QValidator(edit), Edit(edit), Limit(limit), Before(edit->text()) {
        connect(edit, &QLineEdit::textChanged, this, [this](const QString& text) { Before = text; });
    }
    State validate(QString& input, int& pos) const override {
        qsizetype head = 0, tail = 0;
        const qsizetype shorter = std::min(Before.size(), input.size());
        while (head < shorter && Before.at(head) == input.at(head))
            ++head;
        if (head > 0 && input.at(head - 1).isHighSurrogate()) --head;
        while (tail < shorter - head &&
               Before.at(Before.size() - 1 - tail) == input.at(input.size() - 1 - tail))
            ++tail;
        if (tail > 0 && input.at(input.size() - tail).isLowSurrogate()) --tail;
        const QString inserted = input.mid(head, input.size() - head - tail);
        if (inserted.isEmpty()) return Acceptable;
        if (FirstUnrepresentable(inserted) >= 0) {
            QToolTip::showText(Edit->mapToGlobal(QPoint(0, Edit->height())),
                               QString::fromUtf8(LoadStringText(IDS_NOT_IN_CODE_PAGE)), Edit);
            return Invalid;
        }
        const QString kept = input.left(head) + input.right(tail);
        const int room = Limit - AnsiLength(kept);
        qsizetype fit = 0;
        for (int used = 0; fit < inserted.size();) {
            qsizetype n = inserted.at(fit).isHighSurrogate() && fit + 1 < inserted.size() ? 2 : 1;
            used += AnsiLength(inserted.mid(fit, n));
            if (used > room) break;
            fit += n;
        }
        if (fit == inserted.size()) return Acceptable;
        if (fit == 0 && Before.size() - head - tail == 0) return Invalid; // nothing fits and nothing replaced
        input = input.left(head) + inserted.left(fit) + input.right(tail);
        pos = int(head + fit);
        return Acceptable;
    }

  private:
    QLineEdit* Edit;
    int Limit;
    QString Before; // the edit's text before the change being validated
};

QWidget* CreateControl(const ControlTemplate& c, QWidget* parent, QButtonGroup*& radioGroup) {
    QString text = QString::fromStdString(c.Text);
    switch (c.Kind) {
    case ControlKind::Label:
    case ControlKind::CenterLabel: {
        auto* label = new QLabel(text, parent);
        label->setAlignment((c.Kind == ControlKind::CenterLabel ? Qt::AlignHCenter : Qt::AlignLeft) |
                            Qt::AlignTop);
        label->setWordWrap(true);
        return label;
    }
    case ControlKind::GroupBox:
        return new CGroupBox(text, parent);
    case ControlKind::ComboBox: {
        auto* combo = new QComboBox(parent);
        // The template height is that of the open list; a row takes about 8 units.
        combo->setMaxVisibleItems(std::max(3, (c.Height - 12) / 8));
        return combo;
    }
    case ControlKind::CheckBox: {
        return new CLeftTextCheckBox(text, parent);
    }
    case ControlKind::RadioButton: {
        auto* radio = new QRadioButton(text, parent);
        if (c.Group || !radioGroup) {
            radioGroup = new QButtonGroup(parent);
            radioGroup->setExclusive(true);
        }
        radioGroup->addButton(radio);
        return radio;
    }
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, parent);
        return edit;
    }
    case ControlKind::NumberEdit: {
        auto* edit = new QLineEdit(text, parent);
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        edit->setReadOnly(true);
        return edit;
    }
    case ControlKind::UpDown: {
        auto* spin = new CSpinButton(parent);
        spin->SetThousands(!c.NoThousands);
        return spin;
    }
    case ControlKind::TitleLine: {
        auto* title = new QTextEdit(parent);
        title->setReadOnly(true);
        title->setFrameShape(QFrame::NoFrame);
        title->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        title->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        title->setLineWrapMode(QTextEdit::NoWrap);
        title->document()->setDocumentMargin(0);
        title->setEnabled(false);
        return title;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = new QPushButton(text, parent);
        button->setDefault(c.Kind == ControlKind::DefPushButton);
        button->setAutoDefault(c.Kind == ControlKind::DefPushButton);
        return button;
    }
    case ControlKind::ListBox: {
        auto* list = new QListWidget(parent);
        list->setSortingEnabled(true);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        return list;
    }
    case ControlKind::Icon: {
        auto* icon = new QLabel(parent);
        icon->setPixmap(QApplication::windowIcon().pixmap(32, 32));
        return icon;
    }
    }
    return new QWidget(parent);
}

} // namespace

void BuildTemplateControls(const DialogTemplate& form, QWidget* parent) {
    parent->setFont(KoreanFont(8));
    parent->resize(DialogUnitsToPixelsX(form.Width), DialogUnitsToPixelsY(form.Height));
    QButtonGroup* radioGroup = nullptr;
    QWidget* previous = nullptr;
    std::vector<QWidget*> groupBoxes;
    for (const ControlTemplate& c : form.Controls) {
        if (c.Kind != ControlKind::RadioButton && c.Group) radioGroup = nullptr;
        QWidget* widget = CreateControl(c, parent, radioGroup);
        if (c.Id != -1) widget->setObjectName(QString::number(c.Id));
        QRect rect = DialogRectToPixels(c.X, c.Y, c.Width, c.Height);
        if (c.Kind == ControlKind::ComboBox) {
            // The closed height is the same for every combo box of the font; measured once.
            static int closedHeight = widget->sizeHint().height();
            rect.setHeight(closedHeight);
        }
        widget->setGeometry(rect);
        if (c.Kind == ControlKind::UpDown) {
            // Attached to the edit before it and aligned to its right edge, which it takes from the edit.
            if (auto* buddy = qobject_cast<QLineEdit*>(previous)) {
                QRect edit = buddy->geometry();
                int width = rect.width();
                buddy->setGeometry(edit.x(), edit.y(), std::max(0, edit.width() - width), edit.height());
                widget->setGeometry(edit.x() + edit.width() - width, edit.y(), width, edit.height());
                static_cast<CSpinButton*>(widget)->SetBuddy(buddy);
            }
        }
        if (c.NoTabStop) widget->setFocusPolicy(Qt::ClickFocus);
        if (c.Disabled) widget->setEnabled(false);
        if (c.Kind == ControlKind::GroupBox) groupBoxes.push_back(widget);
        previous = widget;
    }
    for (QWidget* box : groupBoxes)
        box->lower();
}

void SetTypingLimit(QLineEdit* edit, int maxLength) {
    if (!edit) return;
    edit->setValidator(new TypingLimit(edit, std::max(0, maxLength)));
}
