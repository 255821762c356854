#include "renumber_view.h"

#include "page_registry.h"
#include "printer_doc.h"
#include "spin_button.h"

#include <QRadioButton>

ORBIS_REGISTER_PAGE(8, CRenumberView)

namespace {
enum { kTray1, kTray2, kManPaper, kManEnv };

struct GroupIds {
    int First, Second, Number, Spin;
};
constexpr GroupIds kIds[CRenumberView::kGroups] = {
    {1196, 1197, 1198, 1202}, // tray 1
    {1213, 1214, 1215, 1217}, // tray 2
    {1221, 1222, 1223, 1225}, // manual paper
    {1235, 1234, 1233, 1231}, // manual envelope
};
} // namespace

const RadioRange& CRenumberView::Setting(int group) const {
    CPrinterDoc* doc = GetDocument();
    const RadioRange* settings[kGroups] = {&doc->AssignTray1, &doc->AssignTray2, &doc->AssignManPaper,
                                           &doc->AssignManEnv};
    return *settings[group];
}

void CRenumberView::DoDataExchange() {
    DDX_Control(1294, m_Title);
    for (int i = 0; i < kGroups; ++i) {
        DDX_Control(kIds[i].First, m_Groups[i].First);
        DDX_Control(kIds[i].Second, m_Groups[i].Second);
        DDX_Control(kIds[i].Number, m_Groups[i].Number);
        DDX_Control(kIds[i].Spin, m_Groups[i].Spin);
    }
}

void CRenumberView::ConnectHandlers() {
    for (int i = 0; i < kGroups; ++i) {
        Group& g = m_Groups[i];
        HandleRadios(g.First, g.Second, g.Number, g.Spin, m_FirstChange[i], Setting(i));
    }
}

void CRenumberView::OnUpdate() {
    m_FirstChange.fill(0);
    FillControls();
    ShowTitle(m_Title, 61299);
}

void CRenumberView::FillControls() {
    // Envelope and manual paper first, then the trays.
    for (int i : {kManEnv, kManPaper, kTray1, kTray2}) {
        Group& g = m_Groups[i];
        FillRadioSpin(Setting(i), g.Spin, g.First, g.Second, g.Number);
    }
    UpdateData();
}
