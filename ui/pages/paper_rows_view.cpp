#include "paper_rows_view.h"

void CPaperRowsView::DoDataExchange() {
    DDX_Control(m_Layout.TitleId, m_Title);
    for (int i = 0; i < kRows; ++i)
        DDX_Control(m_Layout.ComboIds[i], m_Rows[i]);
}

void CPaperRowsView::ConnectHandlers() {
    for (QComboBox* combo : m_Rows)
        HandleCombo(combo);
}

void CPaperRowsView::OnUpdate() {
    FillControls();
    ShowTitle(m_Title, m_Layout.TitleString);
}

void CPaperRowsView::FillControls() {
    CPrinterDoc* doc = GetDocument();
    for (int i = 0; i < kRows; ++i)
        FillCombo(doc->*m_Layout.Settings[i], m_Rows[i]);
    UpdateData();
}
