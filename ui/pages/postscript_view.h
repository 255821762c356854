// PostScript: the feed, job and wait timeouts (each can be switched off) and
// the font priority.
#pragma once

#include "settings_view.h"

class CSpinButton;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QTextEdit;

class CPostscriptView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 144;
    explicit CPostscriptView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    QCheckBox* m_FeedTimeoutCheck = nullptr;
    QLineEdit* m_FeedTimeoutEdit = nullptr;
    CSpinButton* m_FeedTimeoutSpin = nullptr;
    QCheckBox* m_JobTimeoutCheck = nullptr;
    QLineEdit* m_JobTimeoutEdit = nullptr;
    CSpinButton* m_JobTimeoutSpin = nullptr;
    QCheckBox* m_WaitTimeoutCheck = nullptr;
    QLineEdit* m_WaitTimeoutEdit = nullptr;
    CSpinButton* m_WaitTimeoutSpin = nullptr;
    QComboBox* m_FontPriority = nullptr;
    int m_FirstChange1181 = 0;
    int m_FirstChange1185 = 0;
    int m_FirstChange1189 = 0;
};
