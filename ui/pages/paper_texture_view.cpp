#include "paper_texture_view.h"

#include "page_registry.h"

ORBIS_REGISTER_PAGE(3, CPaperTextureView)

using D = CPrinterDoc;
const CPaperRowsView::Rows CPaperTextureView::kLayout = {
    1284,
    61294,
    {1076, 1077, 1080, 1081, 1082, 1083, 1084, 1085, 1086, 1088, 1098, 1099, 1100, 1101, 1102},
    {&D::PlainTxt, &D::CardStkTxt, &D::TrnsprncyTxt, &D::LabelTxt, &D::BondTxt, &D::EnvTxt, &D::LtrHdTxt,
     &D::PreprntTxt, &D::ColorTxt, &D::Cust1Txt, &D::Cust2Txt, &D::Cust3Txt, &D::Cust4Txt, &D::Cust5Txt,
     &D::Cust6Txt},
};
