// The left pane: the tree of settings pages. Selecting an item makes the
// document replace the right-hand page by the page of the item's id.
#pragma once

#include <QTreeWidget>

#include <string>

class CPrinterDoc;

class CPrinterMopView : public QTreeWidget {
    Q_OBJECT
  public:
    CPrinterMopView(CPrinterDoc* doc, QWidget* parent = nullptr);

    // Builds the tree once: the root labelled `selectedPrinter`, expanded, nothing selected.
    void OnInitialUpdate(const std::string& selectedPrinter);

    // The page id an item carries (0 for the root).
    static int ItemPageId(const QTreeWidgetItem* item);

  protected:
    // Dotted lines between items below the root, behind the expand buttons (none at the root level).
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;

  private:
    void OnSelChanged();

    CPrinterDoc* Doc;
};
