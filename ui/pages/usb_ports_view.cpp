#include "usb_ports_view.h"

#include "page_registry.h"
#include "printer_doc.h"

ORBIS_REGISTER_PAGE(11, CUsbPortsView)

void CUsbPortsView::DoDataExchange() {
    DDX_Control(1292, m_Title);
    DDX_Control(1052, m_PclEmuflip);
    DDX_Control(1053, m_PsEmuflip);
}

void CUsbPortsView::ConnectHandlers() {
    HandleCheck(m_PclEmuflip, GetDocument()->UsbPclEmuflp);
    HandleCheck(m_PsEmuflip, GetDocument()->UsbPsEmuflp);
}

void CUsbPortsView::OnUpdate() {
    FillControls();
    ShowTitle(m_Title, 61302);
}

void CUsbPortsView::FillControls() {
    FillCheck(GetDocument()->UsbPclEmuflp, m_PclEmuflip);
    FillCheck(GetDocument()->UsbPsEmuflp, m_PsEmuflip);
    UpdateData();
}
