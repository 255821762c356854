#include "main_frame.h"

#include <QScrollArea>

#include "about_dlg.h"
#include "npa_exchange.h"
#include "printer_doc.h"
#include "printer_mop_view.h"
#include "page_registry.h"
#include "qt_window_host.h"
#include "res/strings.h"
#include "settings_view.h"
#include "ui_style.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>

namespace {

QString Text(unsigned id) {
    return QString::fromUtf8(LoadStringText(id));
}

// A menu prompt is the part before "\n" (the rest is a tool tip).
QString Prompt(unsigned id) {
    return Text(id).section(QLatin1Char('\n'), 0, 0);
}

} // namespace

CMainFrame::CMainFrame(CPrinterDoc* doc, CQtWindowHost* host, QWidget* parent)
    : QMainWindow(parent), QueryFunction(QueryPrinterSettings), Doc(doc), Host(host) {
    // No maximise box; the title is the application's alone, without a document name.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(Text(IDS_APP_TITLE));
    setFont(KoreanFont(9));
    resize(kWidth, kHeight);
    CreateMenu();
    if (Host) Host->SetFrame(this);
}

CMainFrame::~CMainFrame() {
    if (Host && Host->GetFrame() == this) Host->SetFrame(nullptr);
}

QAction* CMainFrame::NewCommand(int id, const QString& text, unsigned promptId) {
    auto* action = new QAction(text, this);
    action->setObjectName(QString::number(id));
    if (promptId) action->setStatusTip(Prompt(promptId));
    return action;
}

void CMainFrame::CreateMenu() {
    QMenu* file = menuBar()->addMenu(Text(IDS_MENU_FILE));
    QAction* save = NewCommand(kCmdSaveCommandFile, Text(IDS_MENU_SAVE), IDS_PROMPT_SAVE_COMMAND_FILE);
    save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(save, &QAction::triggered, this, &CMainFrame::OnSaveCommandFile);
    file->addAction(save);
    file->addSeparator();
    QAction* reread = NewCommand(kCmdReread, Text(IDS_MENU_REREAD), IDS_PROMPT_REREAD);
    reread->setShortcut(QKeySequence(Qt::Key_F5));
    connect(reread, &QAction::triggered, this, &CMainFrame::OnReread);
    file->addAction(reread);
    QAction* restore = NewCommand(kCmdRestore, Text(IDS_MENU_RESTORE), IDS_PROMPT_RESTORE);
    restore->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    connect(restore, &QAction::triggered, this, &CMainFrame::OnRestore);
    file->addAction(restore);
    file->addSeparator();
    QAction* exportProfile = NewCommand(kCmdExportProfile, Text(IDS_MENU_EXPORT), IDS_PROMPT_EXPORT);
    connect(exportProfile, &QAction::triggered, this, &CMainFrame::OnExportProfile);
    file->addAction(exportProfile);
    QAction* importProfile = NewCommand(kCmdImportProfile, Text(IDS_MENU_IMPORT), IDS_PROMPT_IMPORT);
    connect(importProfile, &QAction::triggered, this, &CMainFrame::OnImportProfile);
    file->addAction(importProfile);
    file->addSeparator();
    QAction* exit = NewCommand(kCmdAppExit, Text(IDS_MENU_EXIT), IDS_PROMPT_EXIT);
    connect(exit, &QAction::triggered, this, &QWidget::close);
    file->addAction(exit);

    QAction* apply = NewCommand(kCmdApply, Text(IDS_MENU_APPLY), IDS_PROMPT_APPLY);
    connect(apply, &QAction::triggered, this, &CMainFrame::OnApply);
    menuBar()->addAction(apply);
    QAction* about = NewCommand(kCmdAppAbout, Text(IDS_MENU_ABOUT), IDS_PROMPT_ABOUT);
    connect(about, &QAction::triggered, this, [this] { ShowAboutBox(this); });
    menuBar()->addAction(about);

    // Accelerators without a menu item: F6 and Shift+F6 move between the two panes.
    QAction* next = NewCommand(kCmdNextPane, QString(), 0);
    next->setShortcut(QKeySequence(Qt::Key_F6));
    QAction* previous = NewCommand(kCmdPrevPane, QString(), 0);
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    for (QAction* action : {next, previous}) {
        connect(action, &QAction::triggered, this, &CMainFrame::SwitchPane);
        addAction(action);
    }
}

bool CMainFrame::OnCreate() {
    Pane = new QLabel(Text(IDS_IDLE_PROMPT));
    Pane->setObjectName(QStringLiteral("pane0"));
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("59393"));
    bar->addWidget(Pane, 1);

    SplitterWnd = new QSplitter(Qt::Horizontal, this);
    SplitterWnd->setObjectName(QStringLiteral("59648"));
    SplitterWnd->setChildrenCollapsible(false);
    TreeView = new CPrinterMopView(Doc, SplitterWnd);
    SplitterWnd->addWidget(TreeView);
    SplitterWnd->addWidget(PagePane(new CSettingsView(Doc)));
    SplitterWnd->setStretchFactor(0, 0);
    SplitterWnd->setStretchFactor(1, 1);
    SplitterWnd->setSizes({kTreeWidth, kWidth - kTreeWidth});
    setCentralWidget(SplitterWnd);
    return true;
}

void CMainFrame::InitialUpdateFrame(const std::string& selectedPrinter) {
    // Without a reply channel there is nothing to read again.
    if (Doc) Command(kCmdReread)->setEnabled(Doc->WriteOnlyMode == 0);
    if (TreeView) TreeView->OnInitialUpdate(selectedPrinter);
    if (CSettingsView* page = Page()) page->OnInitialUpdate();
}

// A page keeps the size of its form; a form taller or wider than the pane scrolls
// instead of losing its lower rows, as a form view does.
QScrollArea* CMainFrame::PagePane(CSettingsView* page) {
    auto* pane = new QScrollArea;
    pane->setFrameShape(QFrame::NoFrame);
    pane->setWidgetResizable(true);
    page->setMinimumSize(page->size());
    pane->setWidget(page);
    return pane;
}

CSettingsView* CMainFrame::Page() const {
    if (!SplitterWnd || SplitterWnd->count() < 2) return nullptr;
    auto* pane = qobject_cast<QScrollArea*>(SplitterWnd->widget(1));
    return pane ? qobject_cast<CSettingsView*>(pane->widget()) : nullptr;
}

CPrinterDoc* CMainFrame::GetDocument() const {
    CSettingsView* page = Page();
    return page ? page->GetDocument() : Doc;
}

QAction* CMainFrame::Command(int id) const {
    return findChild<QAction*>(QString::number(id));
}

QString CMainFrame::PaneText() const {
    return Pane ? Pane->text() : QString();
}

void CMainFrame::SetPaneText(const QString& text) {
    if (!Pane) return;
    // A menu prompt still covering pane 0 (Apply chosen from the menu bar) gives way,
    // so the text is seen however the command was started.
    QStatusBar* bar = statusBar();
    if (!bar->currentMessage().isEmpty()) bar->clearMessage();
    Pane->setText(text);
    bar->repaint(); // shown at once, before a long exchange with the printer
}

int CMainFrame::ReplacePage(int pageId, int row, int column) {
    if (!SplitterWnd || row != 0 || column != 1 || SplitterWnd->count() < 2) return 0;
    QWidget* old = SplitterWnd->widget(1);
    QList<int> sizes = SplitterWnd->sizes();
    CSettingsView* page = CreatePageView(pageId, Doc);
    if (!page) return 0;
    SplitterWnd->replaceWidget(1, PagePane(page));
    // The document lives on its own; the page being dropped (with its pane) owns nothing of it.
    delete old;
    SplitterWnd->setSizes(sizes);
    page->OnInitialUpdate();
    page->show();
    page->update();
    return 1;
}

void CMainFrame::SwitchPane() {
    if (!SplitterWnd) return;
    QWidget* focus = QApplication::focusWidget();
    bool inTree = focus && (focus == TreeView || TreeView->isAncestorOf(focus));
    if (inTree) {
        CSettingsView* page = Page();
        if (!page) return;
        page->setFocus(Qt::OtherFocusReason);
        for (QWidget* child : page->findChildren<QWidget*>()) {
            if (child->isEnabled() && child->isVisible() && (child->focusPolicy() & Qt::TabFocus)) {
                child->setFocus(Qt::TabFocusReason);
                break;
            }
        }
    } else {
        TreeView->setFocus(Qt::OtherFocusReason);
    }
}

void CMainFrame::OnApply() {
    CPrinterDoc* doc = GetDocument();
    if (!doc) return;
    if (doc->WriteOnlyMode == 1 && doc->ChangedValues.empty()) {
        doc->SetModifiedFlag(false); // nothing was edited, so nothing is sent
        return;
    }
    ReportApplyResult(doc, doc->ApplySettings());
}

void CMainFrame::OnSaveCommandFile() {
    CPrinterDoc* doc = GetDocument();
    if (!doc || !Host) return;
    QString path = Host->AskSaveFile(this);
    if (path.isEmpty()) return;
    std::string chosen = path.toStdString();
    int result = doc->SaveCommandFile(chosen);
    if (result == 0) return;
    if (result == -10) {
        Host->ShowMessage(false, LoadStringText(IDS_OUT_OF_MEMORY), LoadStringText(IDS_OUT_OF_MEMORY_CAPTION),
                          MessageIcon::Stop, MessageButtons::Ok);
        return;
    }
    std::string text = LoadStringText(IDS_SAVE_FAILED_FORMAT);
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, chosen);
    Host->ShowMessage(false, text, LoadStringText(IDS_SAVE_FAILED_CAPTION), MessageIcon::Stop,
                      MessageButtons::Ok);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // The document asks about unapplied edits and shuts the printer link down, once.
    if (!Closed && Doc) {
        Closed = true;
        Doc->SaveModified();
    }
    event->accept();
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == QEvent::StatusTip) {
        // A menu prompt covers pane 0 while shown; an empty tip brings pane 0 back.
        auto* tip = static_cast<QStatusTipEvent*>(event);
        if (tip->tip().isEmpty())
            statusBar()->clearMessage();
        else
            statusBar()->showMessage(tip->tip());
        return true;
    }
    return QMainWindow::event(event);
}
