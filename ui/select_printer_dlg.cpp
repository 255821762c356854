#include "select_printer_dlg.h"

#include "dialog_template.h"
#include "template_builder.h"

#include <QListWidget>
#include <QPushButton>

CSelectPrinterDlg::CSelectPrinterDlg(const std::vector<std::string>& lines, QWidget* parent)
    : QDialog(parent) {
    DialogTemplate form;
    std::string error;
    if (LoadDialogTemplate(133, form, error)) {
        BuildTemplateControls(form, this);
        setWindowTitle(QString::fromStdString(form.Caption));
        setFixedSize(size());
    }
    ListBox = findChild<QListWidget*>(QStringLiteral("1006"));
    if (!ListBox) {
        ListBox = new QListWidget(this); // a broken template still lets the user choose
        ListBox->setSortingEnabled(true);
    }
    for (const std::string& line : lines)
        ListBox->addItem(QString::fromStdString(line));
    if (ListBox->count() > 0) ListBox->setCurrentRow(0);
    if (auto* ok = findChild<QPushButton*>(QStringLiteral("1")))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    if (auto* cancel = findChild<QPushButton*>(QStringLiteral("2")))
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
}

void CSelectPrinterDlg::accept() {
    QList<QListWidgetItem*> selected = ListBox->selectedItems();
    Selected = selected.isEmpty() ? std::string() : selected.first()->text().toStdString();
    QDialog::accept();
}
