#include "paper_weight_view.h"

#include "page_registry.h"

ORBIS_REGISTER_PAGE(4, CPaperWeightView)

using D = CPrinterDoc;
const CPaperRowsView::Rows CPaperWeightView::kLayout = {
    1285,
    61295,
    {1108, 1109, 1110, 1111, 1112, 1113, 1114, 1115, 1116, 1117, 1118, 1119, 1120, 1121, 1122},
    {&D::PlainWgt, &D::CardStkWgt, &D::TrnsprncyWgt, &D::LabelWgt, &D::BondWgt, &D::EnvWgt, &D::LtrHdWgt,
     &D::PreprntWgt, &D::ColorWgt, &D::Cust1Wgt, &D::Cust2Wgt, &D::Cust3Wgt, &D::Cust4Wgt, &D::Cust5Wgt,
     &D::Cust6Wgt},
};
