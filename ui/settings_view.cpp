#include "settings_view.h"

#include "ansi_text.h"
#include "binding_text.h"
#include "dialog_template.h"
#include "printer_doc.h"
#include "res/strings.h"
#include "spin_button.h"
#include "template_builder.h"
#include "ui_style.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>
#include <vector>

CSettingsView::CSettingsView(CPrinterDoc* doc, QWidget* parent)
    : QWidget(parent), Doc(doc), Template(kBlankTemplateId) {
    Init();
}

CSettingsView::CSettingsView(int templateId, CPrinterDoc* doc, QWidget* parent)
    : QWidget(parent), Doc(doc), Template(templateId) {
    Init();
}

CSettingsView::~CSettingsView() = default;

void CSettingsView::Init() {
    // Background and control colours: the window colour behind the page and
    // behind labels, group boxes, check boxes and radio buttons.
    QPalette palette = this->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, WindowColour());
        palette.setColor(group, QPalette::Button, WindowColour());
    }
    setPalette(palette);
    setAutoFillBackground(true);

    DialogTemplate form;
    if (LoadDialogTemplate(Template, form, LoadError)) {
        LoadError.clear();
        BuildTemplateControls(form, this);
    } else {
        qWarning("page template %d: %s", Template, LoadError.c_str());
    }
}

void CSettingsView::OnInitialUpdate() {
    if (!Bound) {
        DoDataExchange();
        ConnectHandlers();
        Bound = true;
    }
    OnUpdate();
    if (Doc && Doc->WriteOnlyMode == 1 && Doc->SaveMenuChecked == 0) {
        if (QAction* save = FrameCommand(kCmdSaveCommandFile)) save->setEnabled(false);
        Doc->SaveMenuChecked = 1;
    }
}

std::vector<std::pair<std::string, QWidget*>> CSettingsView::SettingControls() {
    std::vector<std::pair<std::string, QWidget*>> shown;
    if (!Bound) DoDataExchange(); // no handlers: filling writes nothing into the document
    Recording = &shown;
    FillControls();
    Recording = nullptr;
    return shown;
}

void CSettingsView::Record(const std::string& name, QWidget* control) {
    if (Recording && control && !name.empty()) Recording->emplace_back(name, control);
}

QWidget* CSettingsView::Control(int id) const {
    return findChild<QWidget*>(QString::number(id), Qt::FindDirectChildrenOnly);
}

QAction* CSettingsView::FrameCommand(int id) const {
    QWidget* frame = window();
    return frame ? frame->findChild<QAction*>(QString::number(id)) : nullptr;
}

void CSettingsView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), WindowColour());
}

// ---- title, change protocol -------------------------------------------------

void CSettingsView::ShowTitle(QTextEdit* title, unsigned stringId) {
    if (!title) return;
    QFont font = KoreanFont(9);
    QPalette palette = title->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Base, ActiveCaptionColour());
        palette.setColor(group, QPalette::Text, CaptionTextColour());
    }
    title->setPalette(palette);
    title->setAutoFillBackground(true);
    title->setFont(font);

    QString text = QString::fromUtf8(LoadStringText(stringId));
    QTextCharFormat normal;
    normal.setFont(font);
    normal.setForeground(CaptionTextColour());
    title->clear();
    title->setCurrentCharFormat(normal);
    title->setPlainText(text);
    title->setReadOnly(true);

    int boldFrom = text.lastIndexOf(QLatin1Char('>')) + 1; // 0 when there is no '>'
    QTextCursor cursor(title->document());
    cursor.select(QTextCursor::Document);
    cursor.setCharFormat(normal);
    cursor.setPosition(boldFrom);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    QTextCharFormat bold = normal;
    bold.setFontWeight(QFont::Bold);
    cursor.setCharFormat(bold);
}

void CSettingsView::MarkChanged() {
    if (!Doc) return;
    if (Doc->WriteOnlyMode == 1) EnableSaveCommand();
    Doc->SetModifiedFlag(true);
}

void CSettingsView::EnableSaveCommand() {
    QAction* save = FrameCommand(kCmdSaveCommandFile);
    // Only a plainly greyed command is enabled; any other state is left alone.
    if (!save || save->isEnabled() || save->isChecked()) return;
    save->setEnabled(true);
    if (QWidget* frame = window()) frame->update();
}

bool CSettingsView::SwallowFirstChange(QLineEdit* edit, int& flag) {
    if (!edit) return true;
    if (flag == 0) {
        flag = 1;
        return true;
    }
    return false;
}

// ---- values -----------------------------------------------------------------

std::string CSettingsView::EditBytes(const QString& text) {
    std::string bytes;
    ToAnsi(text, bytes);
    return bytes;
}

std::string CSettingsView::CurrentValue(const std::string& name) const {
    if (!Doc) return std::string();
    auto found = Doc->CurrentValues.find(name);
    return found == Doc->CurrentValues.end() ? std::string() : found->second;
}

void CSettingsView::Store(const std::string& name, const std::string& value) {
    if (!Doc) return;
    Doc->CurrentValues[name] = value;
    if (Doc->WriteOnlyMode == 1) Doc->ChangedValues[name] = value;
}

void CSettingsView::SetCheck(QAbstractButton* button, bool checked) {
    if (!button) return;
    QButtonGroup* group = button->group();
    bool exclusive = group && group->exclusive();
    if (exclusive) group->setExclusive(false);
    bool autoExclusive = button->autoExclusive();
    button->setAutoExclusive(false);
    button->setChecked(checked);
    button->setAutoExclusive(autoExclusive);
    if (exclusive) group->setExclusive(true);
}

// ---- fill -------------------------------------------------------------------

void CSettingsView::FillCombo(const ValueList& list, QComboBox* combo) {
    if (!combo) return;
    // The items go in sorted by display text, as a sorted combo box keeps them;
    // among equal texts the earlier entry stays first.
    std::vector<std::pair<QString, QString>> items;
    items.reserve(list.size());
    std::string name, value;
    for (const auto& [key, display] : list) {
        items.emplace_back(QString::fromUtf8(display), FromAnsi(key));
        SplitSettingKey(key, name, value);
    }
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    const int existing = combo->count();
    for (const auto& [text, key] : items) {
        // An item already in the list keeps the sort: find its place among them.
        int at = combo->count();
        if (existing > 0) {
            for (int i = 0; i < combo->count(); ++i)
                if (QString::compare(text, combo->itemText(i), Qt::CaseInsensitive) < 0) {
                    at = i;
                    break;
                }
        }
        combo->insertItem(at, text, key);
    }
    combo->setCurrentIndex(-1);
    Record(name, combo);
    std::string target = name + ":" + CurrentValue(name);
    for (int i = 0; i < combo->count(); ++i) {
        if (EqualNoCase(EditBytes(combo->itemData(i).toString()), target)) {
            combo->setCurrentIndex(i);
            break;
        }
    }
}

void CSettingsView::FillCheck(const CheckPair& pair, QCheckBox* check) {
    if (!check) return;
    std::string name, value;
    SplitSettingKey(pair.ClearedKey, name, value);
    Record(name, check);
    SetCheck(check, !EqualNoCase(name + ":" + CurrentValue(name), pair.ClearedKey));
}

void CSettingsView::FillText(const TextSetting& setting, QLineEdit* edit) {
    if (!edit) return;
    Record(setting.NpaName, edit);
    QString text = FromAnsi(CurrentValue(setting.NpaName));
    if (edit->text() == text)
        emit edit->textChanged(text); // setting the text always notifies, as an edit control does
    else
        edit->setText(text);
    SetTypingLimit(edit, setting.MaxLength);
}

void CSettingsView::FillSpin(const RangeSetting& setting, CSpinButton* spin) {
    if (!spin) return;
    Record(setting.NpaName, spin->GetBuddy() ? static_cast<QWidget*>(spin->GetBuddy()) : spin);
    spin->SetRange32(setting.MinVal, setting.MaxVal);
    spin->SetPos32(SpinPositionFromText(CurrentValue(setting.NpaName)));
}

void CSettingsView::FillSwitchedSpin(const SwitchedRange& setting, CSpinButton* spin, QCheckBox* check) {
    if (!spin) return;
    Record(setting.NpaName, check);
    spin->SetRange32(setting.MinVal, setting.MaxVal);
    std::string current = CurrentValue(setting.NpaName);
    if (EqualNoCase(current, setting.OffValue)) {
        SetCheck(check, false);
        spin->SetPos32(setting.MinVal);
    } else {
        SetCheck(check, true);
        spin->setEnabled(true);
        if (spin->GetBuddy()) spin->GetBuddy()->setEnabled(true);
        spin->SetPos32(SpinPositionFromText(current));
    }
}

void CSettingsView::FillRadioSpin(const RadioRange& setting, CSpinButton* spin, QRadioButton* first,
                                  QRadioButton* second, QRadioButton* number) {
    Record(setting.NpaName, first);
    if (spin) spin->SetRange32(setting.MinVal, setting.MaxVal);
    std::string current = CurrentValue(setting.NpaName);
    if (EqualNoCase(current, setting.RadioValue1)) {
        SetCheck(first, true);
        SetCheck(second, false);
        SetCheck(number, false);
        if (second) second->setEnabled(false);
        if (spin) spin->SetPos32(setting.MinVal);
    } else if (EqualNoCase(current, setting.RadioValue2)) {
        SetCheck(first, false);
        SetCheck(second, true);
        SetCheck(number, false);
        if (spin) spin->SetPos32(setting.MinVal);
    } else {
        SetCheck(first, false);
        SetCheck(second, false);
        SetCheck(number, true);
        if (spin) {
            spin->setEnabled(true);
            if (spin->GetBuddy()) spin->GetBuddy()->setEnabled(true);
            spin->SetPos32(SpinPositionFromText(current));
        }
    }
    // The first value is shown, never chosen.
    if (first) first->setEnabled(false);
}

// ---- store ------------------------------------------------------------------

void CSettingsView::StoreCombo(QComboBox* combo) {
    if (!combo || combo->currentIndex() < 0) return;
    std::string name, value;
    SplitSettingKey(EditBytes(combo->currentData().toString()), name, value);
    Store(name, value);
}

void CSettingsView::StoreCheck(QCheckBox* check, const CheckPair& pair) {
    if (!check) return;
    std::string name, value;
    SplitSettingKey(check->isChecked() ? pair.SetKey : pair.ClearedKey, name, value);
    Store(name, value);
}

void CSettingsView::StoreText(QLineEdit* edit, const TextSetting& setting) {
    // The edit refuses characters the code page lacks, so the text always converts.
    std::string bytes;
    if (edit && ToAnsi(edit->text(), bytes)) Store(setting.NpaName, bytes);
}

void CSettingsView::StoreSpin(QLineEdit* edit, const RangeSetting& setting) {
    if (edit) Store(setting.NpaName, EditBytes(edit->text()));
}

void CSettingsView::StoreSwitchedSpin(QCheckBox* check, QLineEdit* edit, const SwitchedRange& setting) {
    if (!check) return;
    if (!check->isChecked())
        Store(setting.NpaName, setting.OffValue);
    else if (edit)
        Store(setting.NpaName, EditBytes(edit->text()));
}

void CSettingsView::StoreRadio(int choice, const std::string& numberText, const RadioRange& setting) {
    if (choice == 1)
        Store(setting.NpaName, setting.RadioValue1);
    else if (choice == 2)
        Store(setting.NpaName, setting.RadioValue2);
    else
        Store(setting.NpaName, numberText);
}

// ---- notifications and handler patterns ---------------------------------------

void CSettingsView::OnSelEndOk(QComboBox* combo, std::function<void()> handler) {
    if (combo) connect(combo, &QComboBox::activated, this, [handler](int) { handler(); });
}

void CSettingsView::OnClicked(QAbstractButton* button, std::function<void()> handler) {
    if (button) connect(button, &QAbstractButton::clicked, this, [handler](bool) { handler(); });
}

void CSettingsView::OnChange(QLineEdit* edit, std::function<void()> handler) {
    if (edit) connect(edit, &QLineEdit::textChanged, this, [handler](const QString&) { handler(); });
}

namespace {
void EnablePair(CSpinButton* spin, bool on) {
    if (!spin) return;
    spin->setEnabled(on);
    if (spin->GetBuddy()) spin->GetBuddy()->setEnabled(on);
}
} // namespace

void CSettingsView::HandleCombo(QComboBox* combo) {
    OnSelEndOk(combo, [this, combo] {
        MarkChanged();
        StoreCombo(combo);
    });
}

void CSettingsView::HandleCheck(QCheckBox* check, const CheckPair& pair) {
    OnClicked(check, [this, check, &pair] {
        MarkChanged();
        StoreCheck(check, pair);
    });
}

void CSettingsView::HandleText(QLineEdit* edit, int& flag, const TextSetting& setting) {
    OnChange(edit, [this, edit, &flag, &setting] {
        if (SwallowFirstChange(edit, flag)) return;
        MarkChanged();
        StoreText(edit, setting);
    });
}

void CSettingsView::HandleSpinEdit(QLineEdit* edit, int& flag, const RangeSetting& setting) {
    OnChange(edit, [this, edit, &flag, &setting] {
        if (SwallowFirstChange(edit, flag)) return;
        MarkChanged();
        StoreSpin(edit, setting);
    });
}

void CSettingsView::HandleSwitchedCheck(QCheckBox* check, CSpinButton* spin, const SwitchedRange& setting) {
    OnClicked(check, [this, check, spin, &setting] {
        MarkChanged();
        EnablePair(spin, check->isChecked());
        StoreSwitchedSpin(check, spin ? spin->GetBuddy() : nullptr, setting);
    });
}

void CSettingsView::HandleSwitchedEdit(QLineEdit* edit, int& flag, QCheckBox* check,
                                       const SwitchedRange& setting) {
    OnChange(edit, [this, edit, &flag, check, &setting] {
        if (SwallowFirstChange(edit, flag)) return;
        MarkChanged();
        StoreSwitchedSpin(check, edit, setting);
    });
}

void CSettingsView::HandleRadios(QRadioButton* first, QRadioButton* second, QRadioButton* number,
                                 CSpinButton* spin, int& flag, const RadioRange& setting) {
    QLineEdit* edit = spin ? spin->GetBuddy() : nullptr;
    auto named = [this, spin, edit, &setting](int choice) {
        MarkChanged();
        if (edit && edit->isEnabled()) EnablePair(spin, false);
        StoreRadio(choice, std::string(), setting);
    };
    OnClicked(first, [named] { named(1); });
    OnClicked(second, [named] { named(2); });
    OnClicked(number, [this, spin, edit, &setting] {
        MarkChanged();
        EnablePair(spin, true);
        StoreRadio(3, edit ? EditBytes(edit->text()) : std::string(), setting);
    });
    OnChange(edit, [this, edit, &flag, &setting] {
        if (SwallowFirstChange(edit, flag)) return;
        MarkChanged();
        StoreRadio(3, EditBytes(edit->text()), setting);
    });
}
