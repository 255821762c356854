// Setup: printer and display language, jam recovery, print area, property
// tag, the three timers that can be switched off and four on/off switches.
#pragma once

#include "settings_view.h"

class CSpinButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTextEdit;

class CSetupView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 145;
    explicit CSetupView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    QComboBox* m_Emulation = nullptr;
    QComboBox* m_JamRcvry = nullptr;
    QComboBox* m_Language = nullptr;
    QComboBox* m_PrtArea = nullptr;
    QLineEdit* m_PropTag = nullptr;
    QCheckBox* m_PwrSvrCheck = nullptr;
    QLineEdit* m_PwrSvrEdit = nullptr;
    CSpinButton* m_PwrSvrSpin = nullptr;
    QCheckBox* m_PrtTimeoutCheck = nullptr;
    QLineEdit* m_PrtTimeoutEdit = nullptr;
    CSpinButton* m_PrtTimeoutSpin = nullptr;
    QCheckBox* m_AutoContCheck = nullptr;
    QLineEdit* m_AutoContEdit = nullptr;
    CSpinButton* m_AutoContSpin = nullptr;
    QCheckBox* m_ResRed = nullptr;
    QCheckBox* m_ResSav = nullptr;
    QCheckBox* m_ResetCtrl = nullptr;
    QCheckBox* m_PrtBufCtrl = nullptr;
    int m_FirstChange1251 = 0;
    int m_FirstChange1255 = 0;
    int m_FirstChange1259 = 0;
    int m_FirstChange1247 = 0;
};
