// The frame's commands beyond the original menu: reading the printer again,
// restoring the settings kept before the last apply, settings profiles, and
// the messages after an apply.
#include "main_frame.h"

#include "npa_exchange.h"
#include "printer_doc.h"
#include "qt_window_host.h"
#include "query_wait_dlg.h"
#include "res/strings.h"
#include "setting_labels.h"
#include "settings_view.h"

#include <QAction>
#include <QDateTime>

namespace {

QString Text(unsigned id) {
    return QString::fromUtf8(LoadStringText(id));
}

std::string Format(unsigned id, const std::string& path) {
    std::string text = LoadStringText(id);
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, path);
    return text;
}

// A message box shows a screenful; the rest is counted.
constexpr size_t kListedProblems = 12;

QString DescribeInKorean(const ProfileProblem& problem) {
    // Each text uses the name, the value, both or neither.
    QString what = Text(IDS_PROBLEM_FIRST + static_cast<unsigned>(problem.Kind))
                       .replace(QLatin1String("%1"), QString::fromStdString(problem.Name))
                       .replace(QLatin1String("%2"), QString::fromStdString(problem.Value));
    return problem.Line > 0 ? Text(IDS_PROBLEM_LINE).arg(problem.Line).arg(what)
                            : Text(IDS_PROBLEM_FILE).arg(what);
}

} // namespace

void CMainFrame::RefreshPage() {
    if (CSettingsView* page = Page()) page->OnInitialUpdate(); // the page shows the document's values
}

void CMainFrame::OnReread() {
    CPrinterDoc* doc = GetDocument();
    if (!doc || !Host || doc->WriteOnlyMode != 0) return;
    if (doc->IsModified() && Host->ShowMessage(true, LoadStringText(IDS_REREAD_QUESTION),
                                               LoadStringText(IDS_REREAD_QUESTION_CAPTION),
                                               MessageIcon::Question, MessageButtons::YesNo) != kIdYes)
        return;

    // As at start-up: the worker fills its own table, read here only after the dialog ended.
    StringMap values;
    int result = kQueryFailed;
    {
        const std::string port = doc->PortName;
        CQueryWaitDlg wait(
            [&] { result = QueryFunction ? QueryFunction(port.c_str(), values) : kQueryFailed; }, this);
        wait.exec();
    }
    // Only an answer from the printer replaces the document; defaults of a port that
    // no longer answers are not the printer's settings.
    if (result != 0) {
        Host->ShowMessage(true, LoadStringText(IDS_QUERY_FAILED), LoadStringText(IDS_REREAD_FAILED_CAPTION),
                          MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    doc->ReloadValues(values);
    RefreshPage();
}

void CMainFrame::ReportApplyResult(CPrinterDoc* doc, int result) {
    if (result == 0) {
        // Settings the printer did not take stay modified, so the next apply retries them.
        doc->SetModifiedFlag(doc->RetryPending());
        if (doc->RetryPending()) ReportNotTaken(doc);
        return;
    }
    if (!Host) return;
    if (result == kChangeListFailed)
        Host->ShowMessage(false, LoadStringText(IDS_OUT_OF_MEMORY), LoadStringText(IDS_OUT_OF_MEMORY_CAPTION),
                          MessageIcon::Stop, MessageButtons::Ok);
    else if (result == kBackupFailed)
        Host->ShowMessage(false,
                          std::string(LoadStringText(IDS_BACKUP_FAILED)) + "\n\n" + doc->LastBackupError(),
                          LoadStringText(IDS_BACKUP_FAILED_CAPTION), MessageIcon::Stop, MessageButtons::Ok);
    else
        Host->ShowMessage(false, LoadStringText(IDS_APPLY_FAILED), LoadStringText(IDS_APPLY_FAILED_CAPTION),
                          MessageIcon::Stop, MessageButtons::Ok);
}

void CMainFrame::ReportNotTaken(CPrinterDoc* doc) {
    if (!Host) return;
    const std::map<std::string, QString> labels = SettingLabels(doc);
    QString text = Text(IDS_NOT_TAKEN_HEAD) + "\n";
    for (const SettingNotTaken& setting : doc->NotTaken()) {
        auto label = labels.find(setting.Name);
        QString held =
            setting.Reported ? SettingValueText(doc, setting.Name, setting.Held) : Text(IDS_NOT_REPORTED);
        text += "\n" + Text(IDS_NOT_TAKEN_LINE)
                           .arg(label != labels.end() ? label->second : QString::fromStdString(setting.Name),
                                SettingValueText(doc, setting.Name, setting.Sent), held);
    }
    Host->ShowMessage(true, text.toStdString(), LoadStringText(IDS_NOT_TAKEN_CAPTION), MessageIcon::Stop,
                      MessageButtons::Ok);
}

void CMainFrame::OnRestore() {
    CPrinterDoc* doc = GetDocument();
    if (!doc || !Host) return;
    BackupStore* store = doc->BackupStorage();
    std::vector<BackupEntry> kept = store ? store->List(doc->PortName) : std::vector<BackupEntry>{};
    if (kept.empty()) {
        Host->ShowMessage(true, LoadStringText(IDS_NO_BACKUP), LoadStringText(IDS_NO_BACKUP_CAPTION),
                          MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    const BackupEntry newest = kept.front();
    // The time the backup was taken, in the user's local time.
    QDateTime saved = QDateTime::fromString(QString::fromStdString(newest.Saved), Qt::ISODate);
    std::string when = saved.isValid()
                           ? saved.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString()
                           : newest.Saved;
    if (Host->ShowMessage(true, Format(IDS_RESTORE_QUESTION, when),
                          LoadStringText(IDS_RESTORE_QUESTION_CAPTION), MessageIcon::Question,
                          MessageButtons::YesNo) != kIdYes)
        return;
    std::vector<ProfileProblem> problems;
    int result = doc->RestoreBackup(newest.Id, problems);
    RefreshPage();
    if (result == CPrinterDoc::kBackupMissing)
        ReportProfileProblems(newest.Path, problems);
    else
        ReportApplyResult(doc, result);
}

void CMainFrame::OnExportProfile() {
    CPrinterDoc* doc = GetDocument();
    if (!doc || !Host) return;
    QString path = Host->AskProfileFile(this, true);
    if (path.isEmpty()) return;
    std::string error;
    if (!WriteProfile(path.toStdString(), doc->ExportProfile(), error))
        Host->ShowMessage(false, Format(IDS_EXPORT_FAILED_FORMAT, path.toStdString()),
                          LoadStringText(IDS_EXPORT_FAILED_CAPTION), MessageIcon::Stop, MessageButtons::Ok);
}

void CMainFrame::ReportProfileProblems(const std::string& path, const std::vector<ProfileProblem>& problems) {
    if (!Host) return;
    QString text = QString::fromStdString(Format(IDS_IMPORT_FAILED_FORMAT, path)) + "\n";
    for (size_t i = 0; i < problems.size() && i < kListedProblems; ++i)
        text += "\n" + DescribeInKorean(problems[i]);
    if (problems.size() > kListedProblems)
        text += "\n" + Text(IDS_PROBLEM_MORE).arg(problems.size() - kListedProblems);
    Host->ShowMessage(true, text.toStdString(), LoadStringText(IDS_IMPORT_FAILED_CAPTION), MessageIcon::Stop,
                      MessageButtons::Ok);
}

void CMainFrame::OnImportProfile() {
    CPrinterDoc* doc = GetDocument();
    if (!doc || !Host) return;
    QString path = Host->AskProfileFile(this, false);
    if (path.isEmpty()) return;
    Profile profile;
    std::vector<ProfileProblem> problems;
    if (!ReadProfile(path.toStdString(), profile, problems)) {
        ReportProfileProblems(path.toStdString(), problems);
        return;
    }
    const size_t changed = doc->ImportProfile(profile).size();
    RefreshPage();
    // Imported values are edits like any other: in write-only mode they may now be saved.
    if (changed && doc->WriteOnlyMode == 1) Command(kCmdSaveCommandFile)->setEnabled(true);
    std::string text = LoadStringText(IDS_IMPORTED_STATUS);
    text.replace(text.find("%d"), 2, std::to_string(changed));
    Host->ShowMessage(true, text, LoadStringText(IDS_IMPORTED_CAPTION), MessageIcon::Information,
                      MessageButtons::Ok);
}
