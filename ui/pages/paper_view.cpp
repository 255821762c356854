#include "paper_view.h"

#include "page_registry.h"
#include "printer_doc.h"

ORBIS_REGISTER_PAGE(1, CPaperView)

void CPaperView::DoDataExchange() {
    DDX_Control(1282, m_Title);
    DDX_Control(1018, m_BlankPgs);
    DDX_Control(1019, m_SepSheets);
    DDX_Control(1040, m_SepSrc);
    DDX_Control(1301, m_Tray1PapSize);
    DDX_Control(1302, m_Tray1PapType);
    DDX_Control(1303, m_Tray2PapSize);
    DDX_Control(1304, m_Tray2PapType);
}

void CPaperView::ConnectHandlers() {
    HandleCombo(m_BlankPgs);
    HandleCombo(m_SepSheets);
    // The separator source (1040) is only shown here: no handler.
    HandleCombo(m_Tray1PapSize);
    HandleCombo(m_Tray1PapType);
    HandleCombo(m_Tray2PapSize);
    HandleCombo(m_Tray2PapType);
}

void CPaperView::OnUpdate() {
    FillControls();
    ShowTitle(m_Title, 61291);
}

void CPaperView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    FillCombo(doc->BlankPgs, m_BlankPgs);
    FillCombo(doc->SepSheets, m_SepSheets);
    FillCombo(doc->SepSrc, m_SepSrc);
    FillCombo(doc->Tray1PapSize, m_Tray1PapSize);
    FillCombo(doc->Tray1PapType, m_Tray1PapType);
    FillCombo(doc->Tray2PapSize, m_Tray2PapSize);
    FillCombo(doc->Tray2PapType, m_Tray2PapType);
    UpdateData();
}
