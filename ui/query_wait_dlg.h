// The wait dialog (template 149) shown while the printer is queried. Its
// initialisation starts a worker thread for the query; the worker posts the
// completion message (2024) as its last act, and only then can the dialog
// close. Escape, Enter and the close message are ignored until then.
#pragma once

#include <QDialog>

#include <functional>
#include <thread>

class CQueryWaitDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr int kQueryDoneMessage = 2024;

    // `query` runs on the worker thread.
    explicit CQueryWaitDlg(std::function<void()> query, QWidget* parent = nullptr);
    ~CQueryWaitDlg() override;

    int QueryDone = 0;

    void accept() override;
    void reject() override;

  protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    std::function<void()> Query;
    std::thread Worker;
};
