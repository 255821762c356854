#include "about_dlg.h"

#include "dialog_template.h"
#include "template_builder.h"

#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    DialogTemplate form;
    std::string error;
    if (LoadDialogTemplate(100, form, error)) {
        BuildTemplateControls(form, this);
        setWindowTitle(QString::fromStdString(form.Caption));
        setFixedSize(size());
    }
    if (auto* ok = findChild<QPushButton*>(QStringLiteral("1")))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void ShowAboutBox(QWidget* parent) {
    CAboutDlg dialog(parent);
    dialog.exec();
}
