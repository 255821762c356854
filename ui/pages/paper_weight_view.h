// Paper types: the weight of each paper type, one list per type.
#pragma once

#include "paper_rows_view.h"

class CPaperWeightView : public CPaperRowsView {
  public:
    static constexpr int kTemplateId = 140;
    static const Rows kLayout;
    explicit CPaperWeightView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CPaperRowsView(kTemplateId, kLayout, doc, parent) {}
};
