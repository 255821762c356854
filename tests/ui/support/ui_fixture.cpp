#include "ui_fixture.h"

#include "dvc.h"
#include "dvc_internal.h"
#include "npa_catalogue.h"
#include "npa_exchange.h"

#include <QApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

int ScriptedHost::ShowMessage(bool owned, const std::string& text, const std::string& caption,
                              MessageIcon icon, MessageButtons buttons) {
    boxes.push_back({owned, text, caption, icon, buttons, TakeCause(icon)});
    return buttons == MessageButtons::YesNo ? answer : kIdOk;
}

void UiFixture::SetUp() {
    static int argc = 1;
    static char name[] = "ui_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv); // one for the process, never torn down
    (void)app;
    char dir[] = "/tmp/ui_testXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    setenv("ORBIS_ROOT", (dir_ + "/root").c_str(), 1);
    const char* source = std::getenv("ORBIS_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "ORBIS_SOURCE_DIR is set by CTest";
    std::filesystem::copy_file(std::string(source) + "/res/quillon.ini", dir_ + "/quillon.ini");
}

void UiFixture::TearDown() {
    frame_.reset();
    doc_.reset();
    DvcShutdown();
    G_bInitialized = false; // the next test's library starts afresh on its own root
    settings_internal::ResetNpaCatalogue();
    NpaSettingIds.clear();
    std::error_code ec;
    std::filesystem::current_path(previousDir_, ec);
    std::filesystem::remove_all(dir_, ec);
}

void UiFixture::WriteCatalogue(const std::string& content) {
    std::ofstream(dir_ + "/quillon.ini", std::ios::binary | std::ios::trunc) << content;
    settings_internal::ResetNpaCatalogue();
}

CPrinterDoc& UiFixture::Start(const std::map<std::string, std::string>& values, int queryResult) {
    frame_.reset();
    doc_ = std::make_unique<CPrinterDoc>(&host_);
    doc_->OnNewDocument("LPT1", values, queryResult);
    frame_ = std::make_unique<CMainFrame>(doc_.get(), &host_);
    frame_->OnCreate();
    frame_->InitialUpdateFrame("LPT1 - Orbis LP 2200");
    return *doc_;
}

CSettingsView* UiFixture::ShowPage(int pageId) {
    if (doc_->ShowPage(pageId, 0, 1) == 0) return nullptr;
    return frame_->Page();
}
