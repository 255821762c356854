#include "postscript_view.h"

#include "page_registry.h"
#include "printer_doc.h"
#include "spin_button.h"

ORBIS_REGISTER_PAGE(9, CPostscriptView)

void CPostscriptView::DoDataExchange() {
    DDX_Control(1290, m_Title);
    DDX_Control(1180, m_FeedTimeoutCheck);
    DDX_Control(1181, m_FeedTimeoutEdit);
    DDX_Control(1182, m_FeedTimeoutSpin);
    DDX_Control(1184, m_JobTimeoutCheck);
    DDX_Control(1185, m_JobTimeoutEdit);
    DDX_Control(1186, m_JobTimeoutSpin);
    DDX_Control(1188, m_WaitTimeoutCheck);
    DDX_Control(1189, m_WaitTimeoutEdit);
    DDX_Control(1190, m_WaitTimeoutSpin);
    DDX_Control(1194, m_FontPriority);
}

void CPostscriptView::ConnectHandlers() {
    CPrinterDoc* doc = GetDocument();
    HandleCombo(m_FontPriority);
    HandleSwitchedCheck(m_FeedTimeoutCheck, m_FeedTimeoutSpin, doc->FeedTimeout);
    HandleSwitchedEdit(m_FeedTimeoutEdit, m_FirstChange1181, m_FeedTimeoutCheck, doc->FeedTimeout);
    HandleSwitchedCheck(m_JobTimeoutCheck, m_JobTimeoutSpin, doc->JobTimeout);
    HandleSwitchedEdit(m_JobTimeoutEdit, m_FirstChange1185, m_JobTimeoutCheck, doc->JobTimeout);
    HandleSwitchedCheck(m_WaitTimeoutCheck, m_WaitTimeoutSpin, doc->WaitTimeout);
    HandleSwitchedEdit(m_WaitTimeoutEdit, m_FirstChange1189, m_WaitTimeoutCheck, doc->WaitTimeout);
}

void CPostscriptView::OnUpdate() {
    m_FirstChange1181 = 0;
    m_FirstChange1185 = 0;
    m_FirstChange1189 = 0;
    FillControls();
    ShowTitle(m_Title, 61300);
}

void CPostscriptView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    FillSwitchedSpin(doc->FeedTimeout, m_FeedTimeoutSpin, m_FeedTimeoutCheck);
    FillSwitchedSpin(doc->JobTimeout, m_JobTimeoutSpin, m_JobTimeoutCheck);
    FillSwitchedSpin(doc->WaitTimeout, m_WaitTimeoutSpin, m_WaitTimeoutCheck);
    FillCombo(doc->FontPriority, m_FontPriority);
    UpdateData();
}
