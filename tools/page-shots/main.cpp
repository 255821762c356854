// orbis-page-shots DIR: starts the program as a user does (printer discovery,
// query), then saves a picture of every settings page as the program draws it
// (DIR/<page>.png), one of the whole main window (DIR/main-window.png) and one
// of it with the file menu open (DIR/file-menu.png).
#include "main_frame.h"
#include "printer_app.h"
#include "printer_mop_view.h"
#include "settings_view.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <map>

namespace {
const std::map<int, const char*> kPageFiles = {
    {1, "paper"},      {2, "custom"},          {3, "paper-texture"}, {4, "paper-weight"},
    {5, "finishing"},  {6, "setup"},           {7, "pcl"},           {8, "renumber"},
    {9, "postscript"}, {10, "parallel-ports"}, {11, "usb-ports"}};

bool Save(QWidget* widget, const QString& path) {
    QApplication::processEvents();
    if (widget->grab().save(path)) return true;
    std::fprintf(stderr, "orbis-page-shots: cannot write %s\n", qPrintable(path));
    return false;
}
// The window with its first menu dropped down, the menu drawn where it opens.
bool SaveWithMenu(CMainFrame* frame, const QString& path) {
    QMenuBar* bar = frame->menuBar();
    QAction* first = bar->actions().value(0);
    QMenu* menu = first ? first->menu() : nullptr;
    if (!menu) return false;
    const QPoint at = bar->mapTo(frame, bar->actionGeometry(first).bottomLeft());
    bar->setActiveAction(first); // the title shows pressed, as with the menu open
    menu->popup(frame->mapToGlobal(at));
    QApplication::processEvents();
    QPixmap shot = frame->grab();
    QPainter painter(&shot);
    painter.drawPixmap(at, menu->grab());
    painter.end();
    menu->hide();
    if (shot.save(path)) return true;
    std::fprintf(stderr, "orbis-page-shots: cannot write %s\n", qPrintable(path));
    return false;
}
} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orbis-page-shots DIR\n");
        return 2;
    }
    QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(".")) return 2;

    CPrinterApp app;
    if (!app.InitInstance()) {
        std::fprintf(stderr, "orbis-page-shots: the program did not start (no printer?)\n");
        return 1;
    }
    CMainFrame* frame = app.MainFrame();
    CPrinterMopView* tree = frame->Tree();
    int saved = 0;
    QTreeWidgetItem* first = nullptr;
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        auto found = kPageFiles.find(CPrinterMopView::ItemPageId(*it));
        if (found == kPageFiles.end()) continue;
        if (!first) first = *it;
        tree->setCurrentItem(*it); // as a click on the item: the tree shows its page
        CSettingsView* page = frame->Page();
        if (page && page->TemplateId() != CSettingsView::kBlankTemplateId &&
            Save(page, dir.filePath(QString(found->second) + ".png")))
            ++saved;
    }
    if (first) tree->setCurrentItem(first);
    if (Save(frame, dir.filePath("main-window.png"))) ++saved;
    if (SaveWithMenu(frame, dir.filePath("file-menu.png"))) ++saved;
    std::printf("%d pictures in %s\n", saved, qPrintable(dir.path()));
    return saved == static_cast<int>(kPageFiles.size()) + 2 ? 0 : 1;
}
