// The few places where the settings model touches windows. The application
// implements this with its toolkit; tests implement it to record what was shown.
#pragma once

#include <string>
#include <vector>

enum class MessageIcon { Stop, Information, Question };
enum class MessageButtons { Ok, YesNo };

// Results of ShowMessage, as the Windows message box gives them.
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

class IWindowHost {
  public:
    virtual ~IWindowHost() = default;

    // A modal message box; ownedByMainWindow false means no owner window.
    virtual int ShowMessage(bool ownedByMainWindow, const std::string& text, const std::string& caption,
                            MessageIcon icon, MessageButtons buttons) = 0;

    // Text of pane 0 of the main frame's status bar; setting it repaints at once.
    virtual std::string StatusText() = 0;
    virtual void SetStatusText(const std::string& text) = 0;

    virtual void SetWaitCursor(bool on) = 0;

    // How many copies to a printer port the system could not complete so far: the
    // write-only workaround's close only logs the copy's result, so an apply compares
    // the count before and after.
    virtual unsigned FailedPortCopies() { return 0; }

    // The printer selection dialog: lists `lines` (sorted, first preselected).
    // Returns true when it ended with OK; `selected` is then the selected line (empty if none).
    virtual bool SelectPrinter(const std::vector<std::string>& lines, std::string& selected) = 0;

    // Replaces the page in the splitter pane (row, column) by the page of `pageId`;
    // nonzero on success.
    virtual int ShowPage(int pageId, int row, int column) = 0;
};
