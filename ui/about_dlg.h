// The About box (template 100): icon, product title and version, rights text.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// Shows CAboutDlg modally (command 57664).
void ShowAboutBox(QWidget* parent);
