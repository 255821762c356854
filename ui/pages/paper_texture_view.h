// Paper types: the texture of each paper type, one list per type.
#pragma once

#include "paper_rows_view.h"

class CPaperTextureView : public CPaperRowsView {
  public:
    static constexpr int kTemplateId = 141;
    static const Rows kLayout;
    explicit CPaperTextureView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CPaperRowsView(kTemplateId, kLayout, doc, parent) {}
};
