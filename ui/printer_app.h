// The application object: finds and chooses the printer, queries it behind
// the wait dialog, then builds the document and the main window.
#pragma once

#include "npa_catalogue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class BackupStore;
class CMainFrame;
class CPrinterDoc;
class CQtWindowHost;

class CPrinterApp {
  public:
    // `host` answers the modal boxes (tests pass their own); null uses the real windows.
    explicit CPrinterApp(CQtWindowHost* host = nullptr);
    ~CPrinterApp();
    CPrinterApp(const CPrinterApp&) = delete;
    CPrinterApp& operator=(const CPrinterApp&) = delete;

    std::string SelectedPrinter;
    std::string PortName;
    int32_t QueryResult = 0;
    StringMap Printers;
    StringMap QueriedValues;

    // The start-up sequence; false ends the program (no window was built).
    bool InitInstance();
    void OnAppAbout();

    CPrinterDoc* Document() const { return Doc.get(); }
    CMainFrame* MainFrame() const { return Frame.get(); }
    CQtWindowHost* Host() const { return WindowHost; }

    // The query the worker thread runs; QueryPrinterSettings unless replaced.
    std::function<int(const char* port, StringMap& values)> QueryFunction;

  private:
    std::unique_ptr<CQtWindowHost> OwnHost;
    CQtWindowHost* WindowHost;
    std::unique_ptr<BackupStore> Backups;
    std::unique_ptr<CPrinterDoc> Doc;
    std::unique_ptr<CMainFrame> Frame;
};

// The one application object of the running program (null before it exists).
CPrinterApp* GetPrinterApp();
