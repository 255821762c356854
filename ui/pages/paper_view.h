// Paper: blank pages, separator sheets and the size and type of both trays.
#pragma once

#include "settings_view.h"

class QComboBox;
class QTextEdit;

class CPaperView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 134;
    explicit CPaperView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    QTextEdit* m_Title = nullptr;
    QComboBox* m_BlankPgs = nullptr;
    QComboBox* m_SepSheets = nullptr;
    QComboBox* m_SepSrc = nullptr;
    QComboBox* m_Tray1PapSize = nullptr;
    QComboBox* m_Tray1PapType = nullptr;
    QComboBox* m_Tray2PapSize = nullptr;
    QComboBox* m_Tray2PapType = nullptr;
};
