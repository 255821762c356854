// A page of one drop-down list per paper type, top to bottom: the texture and
// the weight pages differ only in their template, ids and settings.
#pragma once

#include "printer_doc.h"
#include "settings_view.h"

#include <array>

class QComboBox;
class QTextEdit;

class CPaperRowsView : public CSettingsView {
  public:
    static constexpr int kRows = 15;
    struct Rows {
        int TitleId;          // the title line's control
        unsigned TitleString; // its text
        std::array<int, kRows> ComboIds;
        std::array<ValueList CPrinterDoc::*, kRows> Settings; // shown by the combo of the same row
    };
    void FillControls() override;

  protected:
    CPaperRowsView(int templateId, const Rows& rows, CPrinterDoc* doc, QWidget* parent)
        : CSettingsView(templateId, doc, parent), m_Layout(rows) {}
    void DoDataExchange() override;
    void ConnectHandlers() override;
    void OnUpdate() override;

  private:
    const Rows& m_Layout;
    QTextEdit* m_Title = nullptr;
    std::array<QComboBox*, kRows> m_Rows{}; // top to bottom
};
