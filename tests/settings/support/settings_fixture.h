// Shared by the settings tests: a private working directory holding the
// catalogue ".\quillon.ini" (and command files), a private ORBIS_ROOT, and a
// window host that records what the model shows.
#pragma once

#include "window_host.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Three settings of three kinds, with their page sections, and two numbers of other widths.
extern const char kCatalogue[];

// Starts each test with kCatalogue written.
class SettingsFixture : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Writes the catalogue and forgets the tables built from an earlier one.
    void WriteCatalogue(const std::string& content = kCatalogue);
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    std::string dir_;
    std::string previousDir_;
};

std::string Hex(const std::vector<unsigned char>& bytes);

// Hex of each packet of a command file, without the NPA start packet in front of each.
std::vector<std::string> SentPackets(const std::string& path);

class RecordingHost : public IWindowHost {
  public:
    // Each message as "caption icon buttons [owned]"; icon S/I/Q, buttons O(k)/Y(es-no).
    int ShowMessage(bool owned, const std::string& text, const std::string& caption, MessageIcon icon,
                    MessageButtons buttons) override {
        messages.push_back(caption + " " + "SIQ"[static_cast<int>(icon)] + "OY"[static_cast<int>(buttons)] +
                           (owned ? " owned" : ""));
        texts.push_back(text);
        return answer;
    }
    std::string StatusText() override { return status; }
    void SetStatusText(const std::string& text) override { statusHistory.push_back(status = text); }
    void SetWaitCursor(bool on) override { cursorHistory.push_back(on); }
    bool SelectPrinter(const std::vector<std::string>& lines, std::string& selected) override {
        offered = lines;
        selected = selection;
        return selectionOk;
    }
    int ShowPage(int, int, int) override { return 1; }

    int answer = kIdOk;
    std::string status = "준비됨";
    std::vector<std::string> statusHistory, messages, texts, offered;
    std::vector<bool> cursorHistory;
    std::string selection;
    bool selectionOk = true;
};
