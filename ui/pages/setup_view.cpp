#include "setup_view.h"

#include "page_registry.h"
#include "printer_doc.h"
#include "spin_button.h"

ORBIS_REGISTER_PAGE(6, CSetupView)

void CSetupView::DoDataExchange() {
    DDX_Control(1288, m_Title);
    DDX_Control(1240, m_Emulation);
    DDX_Control(1242, m_JamRcvry);
    DDX_Control(1244, m_Language);
    DDX_Control(1245, m_PrtArea);
    DDX_Control(1247, m_PropTag);
    DDX_Control(1250, m_PwrSvrCheck);
    DDX_Control(1251, m_PwrSvrEdit);
    DDX_Control(1252, m_PwrSvrSpin);
    DDX_Control(1254, m_PrtTimeoutCheck);
    DDX_Control(1255, m_PrtTimeoutEdit);
    DDX_Control(1256, m_PrtTimeoutSpin);
    DDX_Control(1258, m_AutoContCheck);
    DDX_Control(1259, m_AutoContEdit);
    DDX_Control(1260, m_AutoContSpin);
    DDX_Control(1262, m_ResRed);
    DDX_Control(1264, m_ResSav);
    DDX_Control(1266, m_ResetCtrl);
    DDX_Control(1268, m_PrtBufCtrl);
}

void CSetupView::ConnectHandlers() {
    CPrinterDoc* doc = GetDocument();
    HandleCombo(m_Emulation);
    HandleCombo(m_JamRcvry);
    HandleCombo(m_Language);
    HandleCombo(m_PrtArea);
    HandleText(m_PropTag, m_FirstChange1247, doc->PropTag);
    HandleSwitchedCheck(m_PwrSvrCheck, m_PwrSvrSpin, doc->PwrSvr);
    HandleSwitchedEdit(m_PwrSvrEdit, m_FirstChange1251, m_PwrSvrCheck, doc->PwrSvr);
    HandleSwitchedCheck(m_PrtTimeoutCheck, m_PrtTimeoutSpin, doc->PrtTimeout);
    HandleSwitchedEdit(m_PrtTimeoutEdit, m_FirstChange1255, m_PrtTimeoutCheck, doc->PrtTimeout);
    HandleSwitchedCheck(m_AutoContCheck, m_AutoContSpin, doc->AutoCont);
    HandleSwitchedEdit(m_AutoContEdit, m_FirstChange1259, m_AutoContCheck, doc->AutoCont);
    HandleCheck(m_ResRed, doc->ResRed);
    HandleCheck(m_ResSav, doc->ResSav);
    HandleCheck(m_ResetCtrl, doc->ResetCtrl);
    HandleCheck(m_PrtBufCtrl, doc->PrtBufCtrl);
}

void CSetupView::OnUpdate() {
    m_FirstChange1251 = 0;
    m_FirstChange1255 = 0;
    m_FirstChange1259 = 0;
    m_FirstChange1247 = 0;
    FillControls();
    ShowTitle(m_Title, 61297);
}

void CSetupView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    FillCombo(doc->Emulation, m_Emulation);
    FillCombo(doc->JamRcvry, m_JamRcvry);
    FillCombo(doc->Language, m_Language);
    FillCombo(doc->PrtArea, m_PrtArea);
    FillText(doc->PropTag, m_PropTag);
    FillSwitchedSpin(doc->PwrSvr, m_PwrSvrSpin, m_PwrSvrCheck);
    FillSwitchedSpin(doc->PrtTimeout, m_PrtTimeoutSpin, m_PrtTimeoutCheck);
    FillSwitchedSpin(doc->AutoCont, m_AutoContSpin, m_AutoContCheck);
    FillCheck(doc->ResRed, m_ResRed);
    FillCheck(doc->ResSav, m_ResSav);
    FillCheck(doc->ResetCtrl, m_ResetCtrl);
    FillCheck(doc->PrtBufCtrl, m_PrtBufCtrl);
    UpdateData();
}
