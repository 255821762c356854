#include "paper_weight_view.h"

#include "page_registry.h"
#include "printer_doc.h"

ORBIS_REGISTER_PAGE(4, CPaperWeightView)

namespace {
constexpr int kComboIds[CPaperWeightView::kRows] = {1108, 1109, 1110, 1111, 1112, 1113, 1114, 1115,
                                                    1116, 1117, 1118, 1119, 1120, 1121, 1122};
} // namespace

void CPaperWeightView::DoDataExchange() {
    DDX_Control(1285, m_Title);
    for (int i = 0; i < kRows; ++i)
        DDX_Control(kComboIds[i], m_Rows[i]);
}

void CPaperWeightView::ConnectHandlers() {
    for (QComboBox* combo : m_Rows)
        HandleCombo(combo);
}

void CPaperWeightView::OnUpdate() {
    FillControls();
    ShowTitle(m_Title, 61295);
}

void CPaperWeightView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    const ValueList* rows[kRows] = {&doc->PlainWgt, &doc->CardStkWgt, &doc->TrnsprncyWgt, &doc->LabelWgt,
                                    &doc->BondWgt,  &doc->EnvWgt,     &doc->LtrHdWgt,     &doc->PreprntWgt,
                                    &doc->ColorWgt, &doc->Cust1Wgt,   &doc->Cust2Wgt,     &doc->Cust3Wgt,
                                    &doc->Cust4Wgt, &doc->Cust5Wgt,   &doc->Cust6Wgt};
    for (int i = 0; i < kRows; ++i)
        FillCombo(*rows[i], m_Rows[i]);
    UpdateData();
}
