#include "pcl_view.h"

#include "page_registry.h"
#include "printer_doc.h"
#include "spin_button.h"

ORBIS_REGISTER_PAGE(7, CPclView)

void CPclView::DoDataExchange() {
    DDX_Control(1289, m_Title);
    DDX_Control(1272, m_A4Width);
    DDX_Control(1274, m_AutoCR);
    DDX_Control(1276, m_AutoLF);
    DDX_Control(1278, m_LinesPerPgEdit);
    DDX_Control(1279, m_LinesPerPgSpin);
}

void CPclView::ConnectHandlers() {
    CPrinterDoc* doc = GetDocument();
    HandleCombo(m_A4Width);
    HandleCheck(m_AutoCR, doc->AutoCR);
    HandleCheck(m_AutoLF, doc->AutoLF);
    HandleSpinEdit(m_LinesPerPgEdit, m_FirstChange1278, doc->LinesPerPg);
}

void CPclView::OnUpdate() {
    m_FirstChange1278 = 0;
    FillControls();
    ShowTitle(m_Title, 61298);
}

void CPclView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    FillCombo(doc->A4Width, m_A4Width);
    FillSpin(doc->LinesPerPg, m_LinesPerPgSpin);
    FillCheck(doc->AutoCR, m_AutoCR);
    FillCheck(doc->AutoLF, m_AutoLF);
    UpdateData();
}
