// Paper types: the weight of each paper type, one list per type.
#pragma once

#include "settings_view.h"

#include <array>

class QComboBox;
class QTextEdit;

class CPaperWeightView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 140;
    static constexpr int kRows = 15;
    explicit CPaperWeightView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    std::array<QComboBox*, kRows> m_Rows{}; // top to bottom
};
