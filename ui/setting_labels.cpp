#include "setting_labels.h"

#include "ansi_text.h"
#include "binding_text.h"
#include "page_registry.h"
#include "printer_doc.h"
#include "res/strings.h"
#include "settings_tree.h"
#include "settings_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

#include <memory>

namespace {

// Templates pad check box texts with blanks to widen their click area.
QString Clean(const QString& text) {
    return text.simplified();
}

QGroupBox* EnclosingGroup(const QWidget* page, const QWidget* control) {
    for (QGroupBox* group : page->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
        if (group->geometry().contains(control->geometry())) return group;
    return nullptr;
}

// The static text standing on the control's row to its left, nearest first.
QLabel* RowLabel(const QWidget* page, const QWidget* control) {
    const QRect at = control->geometry();
    QLabel* best = nullptr;
    for (QLabel* label : page->findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
        const QRect r = label->geometry();
        if (label->text().trimmed().isEmpty() || r.right() > at.left()) continue;
        if (r.center().y() < at.top() || r.center().y() > at.bottom()) continue;
        if (!best || r.right() > best->geometry().right()) best = label;
    }
    return best;
}

QString ControlLabel(const QWidget* page, QWidget* control) {
    QGroupBox* group = EnclosingGroup(page, control);
    // A radio triple is named by its group; a check box by its own text.
    if (qobject_cast<QRadioButton*>(control) && group) return Clean(group->title());
    QString own;
    if (auto* check = qobject_cast<QCheckBox*>(control))
        own = Clean(check->text());
    else if (QLabel* label = RowLabel(page, control))
        own = Clean(label->text());
    if (group) return own.isEmpty() ? Clean(group->title()) : Clean(group->title()) + " - " + own;
    return own;
}

void AddPage(CPrinterDoc* doc, const SettingsTreeItem& item, std::map<std::string, QString>& labels) {
    if (item.ViewId && HasPageClass(item.ViewId)) {
        std::unique_ptr<CSettingsView> page(CreatePageView(item.ViewId, doc));
        const QString pageName = QString::fromUtf8(LoadStringText(item.StringId));
        for (const auto& [name, control] : page->SettingControls()) {
            QString label = ControlLabel(page.get(), control);
            if (label.isEmpty()) label = QString::fromStdString(name);
            labels.emplace(name, "[" + pageName + "] " + label);
        }
    }
    for (const SettingsTreeItem& child : item.Children)
        AddPage(doc, child, labels);
}

} // namespace

std::map<std::string, QString> SettingLabels(CPrinterDoc* doc) {
    std::map<std::string, QString> labels;
    if (!doc) return labels;
    for (const SettingsTreeItem& item : BuildSettingsTree())
        AddPage(doc, item, labels);
    return labels;
}

QString SettingValueText(CPrinterDoc* doc, const std::string& name, const std::string& value) {
    if (doc) {
        const std::string key = name + ":" + value;
        for (const DescriptorRef& ref : doc->Descriptors()) {
            if (ref.Kind != DescriptorKind::ValueList) continue;
            for (const auto& [listKey, display] : *static_cast<const ValueList*>(ref.Descriptor))
                if (EqualNoCase(listKey, key)) return QString::fromUtf8(display);
        }
    }
    return FromAnsi(value);
}
