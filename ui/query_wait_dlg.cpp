#include "query_wait_dlg.h"

#include "dialog_template.h"
#include "template_builder.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

CQueryWaitDlg::CQueryWaitDlg(std::function<void()> query, QWidget* parent)
    : QDialog(parent), Query(std::move(query)) {
    // A caption and a modal frame, but no system menu and so no close box.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    DialogTemplate form;
    std::string error;
    if (LoadDialogTemplate(149, form, error)) {
        BuildTemplateControls(form, this);
        setWindowTitle(QString::fromStdString(form.Caption));
        setFixedSize(size());
    }
}

CQueryWaitDlg::~CQueryWaitDlg() {
    if (Worker.joinable()) Worker.join();
}

void CQueryWaitDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (Worker.joinable() || QueryDone) return;
    // The dialog's initialisation: the query runs at once on its own thread.
    Worker = std::thread([this] {
        if (Query) Query();
        QCoreApplication::postEvent(this, new QEvent(static_cast<QEvent::Type>(kQueryDoneMessage)));
    });
}

bool CQueryWaitDlg::event(QEvent* event) {
    if (event->type() == static_cast<QEvent::Type>(kQueryDoneMessage)) {
        QueryDone = 1;
        QTimer::singleShot(0, this, &CQueryWaitDlg::reject); // the close message, posted
        return true;
    }
    return QDialog::event(event);
}

void CQueryWaitDlg::accept() {
    // OK (Enter) does nothing.
}

void CQueryWaitDlg::reject() {
    if (QueryDone) QDialog::reject();
}

void CQueryWaitDlg::closeEvent(QCloseEvent* event) {
    if (!QueryDone) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void CQueryWaitDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        reject();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        accept();
        break;
    default:
        QDialog::keyPressEvent(event);
    }
}
