// The settings model's window side on Qt: message boxes, the status text,
// the wait cursor, the printer selection dialog, page replacement, and the
// file-save dialog of the frame. Tests derive from it to answer the modal
// boxes themselves instead of waiting for a user.
#pragma once

#include "window_host.h"

#include <QString>

class CMainFrame;
class QWidget;

class CQtWindowHost : public IWindowHost {
  public:
    int ShowMessage(bool ownedByMainWindow, const std::string& text, const std::string& caption,
                    MessageIcon icon, MessageButtons buttons) override;
    std::string StatusText() override;
    void SetStatusText(const std::string& text) override;
    void SetWaitCursor(bool on) override;
    bool SelectPrinter(const std::vector<std::string>& lines, std::string& selected) override;
    int ShowPage(int pageId, int row, int column) override;
    unsigned FailedPortCopies() override;

    // The save dialog of the command file; an empty result means cancelled.
    virtual QString AskSaveFile(QWidget* owner);
    // The file dialog of a profile: save (export) or open (import); empty when cancelled.
    virtual QString AskProfileFile(QWidget* owner, bool save);

    void SetFrame(CMainFrame* frame) { Frame = frame; }
    CMainFrame* GetFrame() const { return Frame; }

  protected:
    // What a stop message shows beside its text: the system's cause of the failure, once.
    std::string TakeCause(MessageIcon icon);

  private:
    CMainFrame* Frame = nullptr;
    int CursorDepth = 0;
};
