// Parallel port: modes, advanced status, Honor Init, its own PCL and PS
// emulation switches, and the protocol.
#pragma once

#include "settings_view.h"

class QCheckBox;
class QComboBox;
class QTextEdit;

class CParallelPortsView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 139;
    explicit CParallelPortsView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    QCheckBox* m_Mode1 = nullptr;
    QCheckBox* m_Mode2 = nullptr;
    QCheckBox* m_AdvStatus = nullptr;
    QCheckBox* m_HonorInit = nullptr;
    QCheckBox* m_PclEmuflip = nullptr;
    QCheckBox* m_PsEmuflip = nullptr;
    QComboBox* m_Protocol = nullptr;
};
