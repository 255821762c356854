// User-defined papers: the name and paper type of each of the six.
#pragma once

#include "settings_view.h"

#include <array>

class QComboBox;
class QLineEdit;
class QTextEdit;

class CCustomView : public CSettingsView {
  public:
    static constexpr int kTemplateId = 143;
    static constexpr int kPapers = 6;
    explicit CCustomView(CPrinterDoc* doc, QWidget* parent = nullptr)
        : CSettingsView(kTemplateId, doc, parent) {}
    void FillControls() override;

  protected:
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    // Paper N (1..6) is at index N-1.
    const TextSetting& NameSetting(int index) const;
    const ValueList& TypeSetting(int index) const;

    QTextEdit* m_Title = nullptr;
    std::array<QLineEdit*, kPapers> m_Name{};
    std::array<QComboBox*, kPapers> m_Type{};
    std::array<int, kPapers> m_FirstChangeName{};
};
