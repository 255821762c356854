// The frame's commands beyond the original menu: reading the printer again.
#include "main_frame.h"

#include "npa_exchange.h"
#include "printer_doc.h"
#include "qt_window_host.h"
#include "query_wait_dlg.h"
#include "res/strings.h"
#include "settings_view.h"

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
    doc->CurrentValues = std::move(values);
    doc->SetModifiedFlag(false);
    if (CSettingsView* page = Page()) page->OnInitialUpdate(); // the page shows the values read
}
