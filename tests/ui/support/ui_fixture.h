// Shared by the UI tests: one QApplication (offscreen), a private working
// directory with the shipped catalogue and a private ORBIS_ROOT, and a window
// host that answers the modal boxes (No, or OK) and records what was shown.
#pragma once

#include "main_frame.h"
#include "printer_doc.h"
#include "qt_window_host.h"
#include "settings_view.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct ShownBox {
    bool owned;
    std::string text, caption;
    MessageIcon icon;
    MessageButtons buttons;
    std::string cause; // shown beside the text
};

class ScriptedHost : public CQtWindowHost {
  public:
    int ShowMessage(bool owned, const std::string& text, const std::string& caption, MessageIcon icon,
                    MessageButtons buttons) override;
    bool SelectPrinter(const std::vector<std::string>& lines, std::string& selected) override {
        return onSelect ? onSelect(lines, selected) : CQtWindowHost::SelectPrinter(lines, selected);
    }
    QString AskSaveFile(QWidget*) override { return chosenFile; }
    QString AskProfileFile(QWidget*, bool) override { return chosenFile; }
    void SetWaitCursor(bool on) override {
        CQtWindowHost::SetWaitCursor(on);
        if (on && onBusy) onBusy();
    }

    std::vector<ShownBox> boxes;
    std::function<bool(const std::vector<std::string>&, std::string&)> onSelect; // default: real dialog
    std::function<void()> onBusy; // when the wait cursor goes up: a long exchange is about to start
    int answer = kIdNo;           // the answer to a Yes/No question
    QString chosenFile;           // the file a save or profile dialog chooses; empty: cancelled
};

class UiFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    void WriteCatalogue(const std::string& content);

    // A document built from `values` (descriptors from the catalogue) in a main frame, views
    // initialised, as start-up builds them, with the scripted host; the document.
    CPrinterDoc& Start(const std::map<std::string, std::string>& values, int queryResult = 0);

    // Shows page `pageId` in the frame as the tree does; the new right-hand page.
    CSettingsView* ShowPage(int pageId);

    std::string dir_, previousDir_;
    ScriptedHost host_;
    std::unique_ptr<CPrinterDoc> doc_;
    std::unique_ptr<CMainFrame> frame_;
};
