// The choice between several attached printers (template 133): a sorted list
// with the first line preselected, OK and Cancel.
#pragma once

#include <QDialog>

#include <string>
#include <vector>

class QListWidget;

class CSelectPrinterDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CSelectPrinterDlg(const std::vector<std::string>& lines, QWidget* parent = nullptr);

    QListWidget* List() const { return ListBox; }
    // The selected line when the dialog ended with OK; empty when no line was selected.
    std::string SelectedLine() const { return Selected; }

    void accept() override;

  private:
    QListWidget* ListBox = nullptr;
    std::string Selected;
};
