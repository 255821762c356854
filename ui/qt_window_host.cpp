#include "qt_window_host.h"

#include "main_frame.h"
#include "orbis_platform.h"
#include "res/strings.h"
#include "select_printer_dlg.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

int CQtWindowHost::ShowMessage(bool ownedByMainWindow, const std::string& text, const std::string& caption,
                               MessageIcon icon, MessageButtons buttons) {
    QMessageBox box(ownedByMainWindow ? Frame : nullptr);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    std::string cause = TakeCause(icon);
    if (!cause.empty()) box.setInformativeText(QString::fromStdString(cause));
    box.setIcon(icon == MessageIcon::Stop          ? QMessageBox::Critical
                : icon == MessageIcon::Information ? QMessageBox::Information
                                                   : QMessageBox::Question);
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    int answer = box.exec();
    if (buttons == MessageButtons::YesNo) return answer == QMessageBox::Yes ? kIdYes : kIdNo;
    return kIdOk;
}

std::string CQtWindowHost::TakeCause(MessageIcon icon) {
    // A failure the system can explain (a printer node the user may not open, a port
    // that did not take the settings) shows why; the library itself only knows error codes.
    if (icon != MessageIcon::Stop) return "";
    std::string cause = orbis::platform::HostDeviceProblem();
    orbis::platform::ClearHostDeviceProblem();
    return cause;
}

unsigned CQtWindowHost::FailedPortCopies() {
    return orbis::platform::FailedPortCopies();
}

std::string CQtWindowHost::StatusText() {
    return Frame ? Frame->PaneText().toStdString() : std::string();
}

void CQtWindowHost::SetStatusText(const std::string& text) {
    if (Frame) Frame->SetPaneText(QString::fromStdString(text));
}

void CQtWindowHost::SetWaitCursor(bool on) {
    if (on) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++CursorDepth;
    } else if (CursorDepth > 0) {
        QApplication::restoreOverrideCursor();
        --CursorDepth;
    }
}

bool CQtWindowHost::SelectPrinter(const std::vector<std::string>& lines, std::string& selected) {
    CSelectPrinterDlg dialog(lines);
    if (dialog.exec() != QDialog::Accepted) return false;
    selected = dialog.SelectedLine();
    return true;
}

int CQtWindowHost::ShowPage(int pageId, int row, int column) {
    return Frame ? Frame->ReplacePage(pageId, row, column) : 0;
}

QString CQtWindowHost::AskSaveFile(QWidget* owner) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile); // the folder must exist; the file may not
    dialog.setDefaultSuffix(QString::fromUtf8(LoadStringText(IDS_SAVE_DEFAULT_EXT)));
    dialog.selectFile(QString::fromUtf8(LoadStringText(IDS_SAVE_DEFAULT_FILE)));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}

QString CQtWindowHost::AskProfileFile(QWidget* owner, bool save) {
    QFileDialog dialog(owner, QString::fromUtf8(LoadStringText(save ? IDS_EXPORT_TITLE : IDS_IMPORT_TITLE)));
    dialog.setNameFilter(QString::fromUtf8(LoadStringText(IDS_PROFILE_FILTER)));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (save) {
        dialog.setDefaultSuffix(QStringLiteral("profile"));
        dialog.selectFile(QStringLiteral("settings.profile"));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
    return dialog.selectedFiles().first();
}
