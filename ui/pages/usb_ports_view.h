// USB port: its own PCL and PS emulation switches.
#pragma once

#include "settings_view.h"

class QCheckBox;
class QTextEdit;

class CUsbPortsView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 138;
    explicit CUsbPortsView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    QCheckBox* m_PclEmuflip = nullptr;
    QCheckBox* m_PsEmuflip = nullptr;
};
