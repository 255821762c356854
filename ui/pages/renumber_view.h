// PCL tray numbers: tray 1, tray 2, manual paper and manual envelope, each
// either of two named values or a number.
#pragma once

#include "settings_view.h"

#include <array>

class CSpinButton;
class QRadioButton;
class QTextEdit;

class CRenumberView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 147;
    static constexpr int kGroups = 4;
    explicit CRenumberView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    // One radio triple with its number: tray 1, tray 2, manual paper, manual envelope.
    struct Group {
        QRadioButton* First = nullptr;
        QRadioButton* Second = nullptr;
        QRadioButton* Number = nullptr;
        CSpinButton* Spin = nullptr;
    };
    const RadioRange& Setting(int group) const;

    QTextEdit* m_Title = nullptr;
    std::array<Group, kGroups> m_Groups;
    std::array<int, kGroups> m_FirstChange{}; // one per numeric edit
};
