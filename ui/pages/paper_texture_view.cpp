#include "paper_texture_view.h"

#include "page_registry.h"
#include "printer_doc.h"

ORBIS_REGISTER_PAGE(3, CPaperTextureView)

namespace {
constexpr int kComboIds[CPaperTextureView::kRows] = {1076, 1077, 1080, 1081, 1082, 1083, 1084, 1085,
                                                     1086, 1088, 1098, 1099, 1100, 1101, 1102};
} // namespace

void CPaperTextureView::DoDataExchange() {
    DDX_Control(1284, m_Title);
    for (int i = 0; i < kRows; ++i)
        DDX_Control(kComboIds[i], m_Rows[i]);
}

void CPaperTextureView::ConnectHandlers() {
    for (QComboBox* combo : m_Rows)
        HandleCombo(combo);
}

void CPaperTextureView::OnUpdate() {
    FillControls();
    ShowTitle(m_Title, 61294);
}

void CPaperTextureView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    const ValueList* rows[kRows] = {&doc->PlainTxt, &doc->CardStkTxt, &doc->TrnsprncyTxt, &doc->LabelTxt,
                                    &doc->BondTxt,  &doc->EnvTxt,     &doc->LtrHdTxt,     &doc->PreprntTxt,
                                    &doc->ColorTxt, &doc->Cust1Txt,   &doc->Cust2Txt,     &doc->Cust3Txt,
                                    &doc->Cust4Txt, &doc->Cust5Txt,   &doc->Cust6Txt};
    for (int i = 0; i < kRows; ++i)
        FillCombo(*rows[i], m_Rows[i]);
    UpdateData();
}
