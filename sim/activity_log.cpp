#include "activity_log.h"

#include <chrono>
#include <ctime>

namespace orbis::sim {

ActivityLog::ActivityLog(const std::string& path, int verbosity) : verbosity_(verbosity) {
    if (path.empty()) {
        file_ = stderr;
    } else {
        file_ = std::fopen(path.c_str(), "a");
        owned_ = file_ != nullptr;
    }
}

ActivityLog::~ActivityLog() {
    if (owned_) std::fclose(file_);
}

void ActivityLog::Write(int level, const std::string& where, const std::string& line) {
    if (level > verbosity_ || !file_) return;
    auto now = std::chrono::system_clock::now();
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    int ms =
        int(std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d.%03d", tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
    std::lock_guard<std::mutex> lock(mutex_);
    std::fprintf(file_, "%s [%s] %s\n", stamp, where.c_str(), line.c_str());
    std::fflush(file_);
}

} // namespace orbis::sim
