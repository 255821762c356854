// Finishing: the toner alarm and the DKMX switch.
#pragma once

#include "settings_view.h"

class QCheckBox;
class QComboBox;
class QTextEdit;

class CFinishingView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 137;
    explicit CFinishingView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    QComboBox* m_TonerAlarm = nullptr;
    QCheckBox* m_Dkmx = nullptr;
};
