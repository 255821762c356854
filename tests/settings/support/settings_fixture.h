// Shared by the settings tests: a private working directory holding the
// catalogue ".\quillon.ini" (and command files), a private ORBIS_ROOT, and a
// window host that records what the model shows.
#pragma once

#include "npa_catalogue.h"
#include "window_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class SettingsFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Writes the catalogue and forgets the tables built from an earlier one.
    void WriteCatalogue(const std::string& content);
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  public:
    static std::vector<unsigned char> ReadFile(const std::string& path);

  protected:

    std::string dir_;
    std::string previousDir_;
};

// The packets of a command file, without the NPA start packets in front of each.
std::vector<std::vector<unsigned char>> CommandFilePackets(const std::vector<unsigned char>& bytes);

// Hex of bytes, for readable expectations.
std::string Hex(const std::vector<unsigned char>& bytes);

struct ShownMessage {
    bool owned;
    std::string text;
    std::string caption;
    MessageIcon icon;
    MessageButtons buttons;
};

class RecordingHost : public IWindowHost {
  public:
    int ShowMessage(bool owned, const std::string& text, const std::string& caption, MessageIcon icon,
                    MessageButtons buttons) override {
        messages.push_back({owned, text, caption, icon, buttons});
        return answer;
    }
    std::string StatusText() override { return status; }
    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void SetWaitCursor(bool on) override { cursorHistory.push_back(on); }
    bool SelectPrinter(const std::vector<std::string>& lines, std::string& selected) override {
        offered = lines;
        selected = selection;
        return selectionOk;
    }
    int ShowPage(int pageId, int row, int column) override {
        pages.push_back(pageId);
        return 1;
    }

    int answer = kIdOk;
    std::string status = "준비됨";
    std::vector<std::string> statusHistory;
    std::vector<bool> cursorHistory;
    std::vector<ShownMessage> messages;
    std::vector<std::string> offered;
    std::string selection;
    bool selectionOk = true;
    std::vector<int> pages;
};
