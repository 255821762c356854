// The document against a simulated printer process, in this process: the start-up
// query, a two-way apply of every value held (each catalogue command the printer
// must accept), and a query that shows the edit.
#include "tests/sim/sim_process.h"

#include "dvc_internal.h"
#include "npa_exchange.h"
#include "printer_doc.h"
#include "printer_discovery.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class SilentHost : public IWindowHost {
  public:
    int ShowMessage(bool, const std::string&, const std::string& caption, MessageIcon,
                    MessageButtons) override {
        captions.push_back(caption);
        return kIdNo;
    }
    std::string StatusText() override { return ""; }
    void SetStatusText(const std::string&) override {}
    void SetWaitCursor(bool) override {}
    bool SelectPrinter(const std::vector<std::string>&, std::string&) override { return false; }
    int ShowPage(int, int, int) override { return 0; }
    std::vector<std::string> captions;
};

class SettingsDocument : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("ORBIS_ROOT", root_.Path().c_str(), 1);
        unsetenv("ORBIS_WINDOWS_FAMILY");
        std::string work = root_.Path() + "/work";
        std::filesystem::create_directories(work);
        std::filesystem::copy_file(std::string(std::getenv("ORBIS_SOURCE_DIR")) + "/res/quillon.ini",
                                   work + "/quillon.ini");
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(work);
        settings_internal::ResetNpaCatalogue();
    }
    void TearDown() override {
        DvcShutdown();
        G_bInitialized = false;
        settings_internal::ResetNpaCatalogue();
        std::filesystem::current_path(previous_);
    }
    orbis::test::TempRoot root_;
    std::filesystem::path previous_;
};

TEST_F(SettingsDocument, StartUpQueryApplyAndQueryAgain) {
    orbis::test::SimProcess sim(root_.Path(), {"--lpt", "1"});
    ASSERT_TRUE(sim.Ready());
    SilentHost host;
    StringMap printers;
    DiscoverPrinters(printers, &host);
    std::string selected, port;
    ASSERT_TRUE(SelectPrinter(printers, host, selected, port));

    StringMap queried;
    ASSERT_EQ(QueryPrinterSettings(port.c_str(), queried), 0);
    ASSERT_GT(queried.size(), 50u);
    EXPECT_EQ(queried.count(""), 0u); // every identifier in the reply is the catalogue's

    CPrinterDoc doc(&host);
    ASSERT_TRUE(doc.OnNewDocument(port, queried, 0));
    EXPECT_TRUE(host.captions.empty());
    std::string cleared = doc.AutoLF.ClearedKey.substr(doc.AutoLF.ClearedKey.find(':') + 1);
    std::string set = doc.AutoLF.SetKey.substr(doc.AutoLF.SetKey.find(':') + 1);
    std::string name = doc.AutoLF.SetKey.substr(0, doc.AutoLF.SetKey.find(':'));
    std::string value = doc.CurrentValues[name] == set ? cleared : set;
    doc.CurrentValues[name] = value;
    doc.SetModifiedFlag(true);
    EXPECT_EQ(doc.ApplySettings(), 0); // every value held is sent

    StringMap again;
    ASSERT_EQ(QueryPrinterSettings(port.c_str(), again), 0);
    StringMap expected = queried;
    expected[name] = value;
    EXPECT_EQ(again, expected);
    EXPECT_TRUE(doc.SaveModified());
}

} // namespace
