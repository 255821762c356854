#include "parallel_ports_view.h"

#include "page_registry.h"
#include "printer_doc.h"

ORBIS_REGISTER_PAGE(10, CParallelPortsView)

void CParallelPortsView::DoDataExchange() {
    DDX_Control(1291, m_Title);
    DDX_Control(1058, m_Mode1);
    DDX_Control(1059, m_Mode2);
    DDX_Control(1060, m_AdvStatus);
    DDX_Control(1061, m_HonorInit);
    DDX_Control(1062, m_PclEmuflip);
    DDX_Control(1063, m_PsEmuflip);
    DDX_Control(1064, m_Protocol);
}

void CParallelPortsView::ConnectHandlers() {
    CPrinterDoc* doc = GetDocument();
    HandleCheck(m_Mode1, doc->Mode1);
    HandleCheck(m_Mode2, doc->Mode2);
    HandleCheck(m_AdvStatus, doc->AdvStatus);
    HandleCheck(m_HonorInit, doc->HonorInit);
    HandleCheck(m_PclEmuflip, doc->ParPclEmuflp);
    HandleCheck(m_PsEmuflip, doc->ParPsEmuflp);
    HandleCombo(m_Protocol);
}

void CParallelPortsView::OnUpdate() {
    FillControls();
    ShowTitle(m_Title, 61301);
}

void CParallelPortsView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    FillCheck(doc->Mode1, m_Mode1);
    FillCheck(doc->Mode2, m_Mode2);
    FillCheck(doc->AdvStatus, m_AdvStatus);
    FillCheck(doc->HonorInit, m_HonorInit);
    FillCheck(doc->ParPclEmuflp, m_PclEmuflip);
    FillCheck(doc->ParPsEmuflp, m_PsEmuflip);
    FillCombo(doc->Protocol, m_Protocol);
    UpdateData();
}
