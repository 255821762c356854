// The printer program's activity log: one line per event, filtered by verbosity.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace orbis::sim {

class ActivityLog {
  public:
    // path "" writes to stderr; verbosity 0 writes nothing.
    ActivityLog(const std::string& path, int verbosity);
    ~ActivityLog();
    void Write(int level, const std::string& where, const std::string& line);
    bool Ok() const { return file_ != nullptr; }

  private:
    std::mutex mutex_;
    FILE* file_ = nullptr;
    bool owned_ = false;
    int verbosity_;
};

} // namespace orbis::sim
