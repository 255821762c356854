// A pseudo-terminal standing in for a printer's device node: the code under
// test opens it through a symlink placed where the node would be, the test
// plays the printer on the master side. Raw mode, so bytes pass unchanged.
#pragma once

#include "platform/win32.h"

#include <functional>
#include <string>

namespace orbis::platformtest {

class PtyNode {
  public:
    PtyNode();
    ~PtyNode();
    PtyNode(const PtyNode&) = delete;
    PtyNode& operator=(const PtyNode&) = delete;

    const std::string& Path() const { return slavePath_; } // "/dev/pts/N"
    int Master() const { return master_; }
    // Makes `link` (a host path) point at the node, creating its directory.
    void LinkAs(const std::string& link) const;
    // What the code wrote, waiting up to timeoutMs for `count` bytes (less on time-out).
    std::string Take(size_t count, int timeoutMs = 5000);
    void Send(const std::string& bytes);

  private:
    int master_ = -1;
    int keepOpen_ = -1; // a slave descriptor, so the master never sees a hang-up between opens
    std::string slavePath_;
};

// Starts a ReadFile of `handle` on a thread of its own, calls `end` once the read sleeps in
// the kernel waiting for the device, and gives what the read returned: 0 or its error
// (WAIT_TIMEOUT when it had not ended 10 s after).
DWORD EndBlockedRead(HANDLE handle, const std::function<void()>& end);

// A domain socket listening at `path` that never answers (a printer process's, a server's); -1 on failure.
int ListenSilently(const std::string& path);

} // namespace orbis::platformtest
