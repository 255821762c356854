#include "custom_view.h"

#include "page_registry.h"
#include "printer_doc.h"

ORBIS_REGISTER_PAGE(2, CCustomView)

namespace {
constexpr int kNameEditIds[CCustomView::kPapers] = {1154, 1155, 1156, 1157, 1158, 1159};
constexpr int kTypeComboIds[CCustomView::kPapers] = {1140, 1141, 1142, 1143, 1144, 1145};
} // namespace

const TextSetting& CCustomView::NameSetting(int index) const {
    CPrinterDoc* doc = GetDocument();
    const TextSetting* names[kPapers] = {&doc->Cust1Name, &doc->Cust2Name, &doc->Cust3Name,
                                         &doc->Cust4Name, &doc->Cust5Name, &doc->Cust6Name};
    return *names[index];
}

const ValueList& CCustomView::TypeSetting(int index) const {
    CPrinterDoc* doc = GetDocument();
    const ValueList* types[kPapers] = {&doc->Cust1Type, &doc->Cust2Type, &doc->Cust3Type,
                                       &doc->Cust4Type, &doc->Cust5Type, &doc->Cust6Type};
    return *types[index];
}

void CCustomView::DoDataExchange() {
    DDX_Control(1283, m_Title);
    for (int i = 0; i < kPapers; ++i) {
        DDX_Control(kNameEditIds[i], m_Name[i]);
        DDX_Control(kTypeComboIds[i], m_Type[i]);
    }
}

void CCustomView::ConnectHandlers() {
    for (int i = 0; i < kPapers; ++i) {
        HandleText(m_Name[i], m_FirstChangeName[i], NameSetting(i));
        HandleCombo(m_Type[i]);
    }
}

void CCustomView::OnUpdate() {
    m_FirstChangeName.fill(0);
    FillControls();
    ShowTitle(m_Title, 61292);
}

void CCustomView::FillControls() {
    for (int i = 0; i < kPapers; ++i) {
        FillText(NameSetting(i), m_Name[i]);
        FillCombo(TypeSetting(i), m_Type[i]);
    }
    UpdateData();
}
