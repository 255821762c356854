// The main window: menu, accelerators, one-pane status bar, and a splitter
// with the settings tree on the left and the current page on the right.
#pragma once

#include <QMainWindow>

#include "npa_catalogue.h"

#include <functional>
#include <string>
#include <vector>

class CPrinterDoc;
struct ProfileProblem;
class CPrinterMopView;
class CQtWindowHost;
class CSettingsView;
class QAction;
class QLabel;
class QSplitter;

// Command ids, kept as the object names of their actions.
inline constexpr int kCmdApply = 32774;
inline constexpr int kCmdReread = 32775;
inline constexpr int kCmdRestore = 32776;
inline constexpr int kCmdExportProfile = 32777;
inline constexpr int kCmdImportProfile = 32778;
inline constexpr int kCmdAppAbout = 57664;
inline constexpr int kCmdAppExit = 57665;
inline constexpr int kCmdNextPane = 57680;
inline constexpr int kCmdPrevPane = 57681;

class QScrollArea;

class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kWidth = 680;
    static constexpr int kHeight = 450;
    static constexpr int kTreeWidth = 150;

    CMainFrame(CPrinterDoc* doc, CQtWindowHost* host, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Creates the status bar, the splitter and its two views. The views get
    // their initial update from InitialUpdateFrame, after the document is built.
    bool OnCreate();
    void InitialUpdateFrame(const std::string& selectedPrinter);

    // The document of the view in pane (0, 1).
    CPrinterDoc* GetDocument() const;

    void OnApply();
    void OnSaveCommandFile();
    // Reads the printer's settings again behind the wait dialog, asking first when
    // the document holds unapplied edits.
    void OnReread();
    // Writes back the settings kept before the last apply (asking first).
    void OnRestore();
    void OnExportProfile();
    void OnImportProfile();

    // The query the re-read runs on the wait dialog's thread; QueryPrinterSettings unless replaced.
    std::function<int(const char* port, StringMap& values)> QueryFunction;

    // Replaces the view in (row, column) by a new page of `pageId`; 1 on success, 0 otherwise.
    int ReplacePage(int pageId, int row, int column);

    CSettingsView* Page() const;
    static QScrollArea* PagePane(CSettingsView* page);
    CPrinterMopView* Tree() const { return TreeView; }
    QSplitter* Splitter() const { return SplitterWnd; }
    QAction* Command(int id) const;

    // Pane 0 of the status bar (the menu prompts show over it while a menu item is hovered).
    QString PaneText() const;
    void SetPaneText(const QString& text);

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void CreateMenu();
    QAction* NewCommand(int id, const QString& text, unsigned promptId);
    void SwitchPane();
    // The messages after an apply (or restore): failure, or the settings the printer did not take.
    void ReportApplyResult(CPrinterDoc* doc, int result);
    void ReportNotTaken(CPrinterDoc* doc);
    void ReportProfileProblems(const std::string& path, const std::vector<ProfileProblem>& problems);
    void RefreshPage();

    CPrinterDoc* Doc;
    CQtWindowHost* Host;
    QSplitter* SplitterWnd = nullptr;
    CPrinterMopView* TreeView = nullptr;
    QLabel* Pane = nullptr;
    bool Closed = false;
};
