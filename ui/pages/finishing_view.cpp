#include "finishing_view.h"

#include "page_registry.h"
#include "printer_doc.h"

ORBIS_REGISTER_PAGE(5, CFinishingView)

void CFinishingView::DoDataExchange() {
    DDX_Control(1287, m_Title);
    DDX_Control(1044, m_TonerAlarm);
    DDX_Control(1046, m_Dkmx);
}

void CFinishingView::ConnectHandlers() {
    HandleCombo(m_TonerAlarm);
    HandleCheck(m_Dkmx, GetDocument()->DKMX);
}

void CFinishingView::OnUpdate() {
    FillControls();
    ShowTitle(m_Title, 61296);
}

void CFinishingView::FillControls() {
    FillCombo(GetDocument()->TonerAlarm, m_TonerAlarm);
    FillCheck(GetDocument()->DKMX, m_Dkmx);
    UpdateData();
}
