// PCL emulation: A4 print width, automatic CR and LF, lines per page.
#pragma once

#include "settings_view.h"

class CSpinButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTextEdit;

class CPclView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 146;
    explicit CPclView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    QComboBox* m_A4Width = nullptr;
    QCheckBox* m_AutoCR = nullptr;
    QCheckBox* m_AutoLF = nullptr;
    QLineEdit* m_LinesPerPgEdit = nullptr;
    CSpinButton* m_LinesPerPgSpin = nullptr;
    int m_FirstChange1278 = 0;
};
