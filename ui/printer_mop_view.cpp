#include "printer_mop_view.h"

#include "printer_doc.h"
#include "res/strings.h"
#include "settings_tree.h"
#include "ui_style.h"

#include <QHeaderView>
#include <QPainter>

namespace {

constexpr int kPageIdRole = Qt::UserRole;

QTreeWidgetItem* NewItem(QTreeWidgetItem* parent, const SettingsTreeItem& source) {
    auto* item = new QTreeWidgetItem(parent);
    item->setText(0, QString::fromUtf8(LoadStringText(source.StringId)));
    item->setData(0, kPageIdRole, source.ViewId);
    return item;
}

} // namespace

CPrinterMopView::CPrinterMopView(CPrinterDoc* doc, QWidget* parent) : QTreeWidget(parent), Doc(doc) {
    setObjectName(QStringLiteral("CPrinterMopView"));
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(false); // no buttons or lines at the root level
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setFont(KoreanFont(9));
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CPrinterMopView::OnSelChanged);
}

void CPrinterMopView::OnInitialUpdate(const std::string& selectedPrinter) {
    auto* root = new QTreeWidgetItem(this);
    root->setText(0, QString::fromStdString(selectedPrinter));
    root->setData(0, kPageIdRole, 0);
    for (const SettingsTreeItem& first : BuildSettingsTree()) {
        QTreeWidgetItem* item = NewItem(root, first);
        for (const SettingsTreeItem& second : first.Children)
            NewItem(item, second);
    }
    root->setExpanded(true);
}

int CPrinterMopView::ItemPageId(const QTreeWidgetItem* item) {
    return item ? item->data(0, kPageIdRole).toInt() : 0;
}

void CPrinterMopView::OnSelChanged() {
    QList<QTreeWidgetItem*> selected = selectedItems();
    if (selected.isEmpty() || !Doc) return;
    Doc->ShowPage(ItemPageId(selected.first()), 0, 1);
}

void CPrinterMopView::drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const {
    // One column of the indentation per level below the root: the item's own
    // connector in the last, a through line for each ancestor with a later sibling.
    const int step = indentation();
    painter->save();
    painter->setPen(QPen(palette().color(QPalette::Mid), 1, Qt::DotLine));
    const int middle = rect.top() + rect.height() / 2;
    int x = rect.right() - step + 1;
    auto hasNext = [this](const QModelIndex& i) { return i.sibling(i.row() + 1, 0).isValid(); };
    if (index.parent().isValid()) {
        int centre = x + step / 2;
        painter->drawLine(centre, rect.top(), centre, hasNext(index) ? rect.bottom() : middle);
        painter->drawLine(centre, middle, x + step - 2, middle);
        for (QModelIndex up = index.parent(); up.parent().isValid(); up = up.parent()) {
            x -= step;
            if (hasNext(up)) painter->drawLine(x + step / 2, rect.top(), x + step / 2, rect.bottom());
        }
    }
    painter->restore();
    QTreeWidget::drawBranches(painter, rect, index);
}
