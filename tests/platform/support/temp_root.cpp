#include "temp_root.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace orbis::platformtest {

TempRoot::TempRoot() {
    char pattern[] = "/tmp/orbis-platform-test-XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
    if (const char* old = std::getenv("ORBIS_ROOT")) previous_ = old, hadPrevious_ = true;
    setenv("ORBIS_ROOT", path_.c_str(), 1);
    previousCwd_ = std::filesystem::current_path();
    std::filesystem::create_directories(path_ + "/cwd");
    std::filesystem::current_path(path_ + "/cwd");
}

TempRoot::~TempRoot() {
    std::filesystem::current_path(previousCwd_);
    hadPrevious_ ? setenv("ORBIS_ROOT", previous_.c_str(), 1) : unsetenv("ORBIS_ROOT");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempRoot::ReadFile(const std::string& relative) const {
    std::stringstream text;
    text << std::ifstream(path_ + "/" + relative, std::ios::binary).rdbuf();
    return text.str();
}

void TempRoot::WriteFile(const std::string& relative, const std::string& content) const {
    std::filesystem::path path(path_ + "/" + relative);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

bool QueueDevice::Read(void* buffer, DWORD count, DWORD* got, DWORD* error) {
    std::unique_lock lock(mutex_);
    ++blocked_;
    changed_.notify_all();
    changed_.wait(lock, [&] { return !incoming_.empty() || failure_; });
    --blocked_;
    changed_.notify_all();
    *got = 0;
    *error = failure_;
    for (auto* out = static_cast<char*>(buffer); *got < count && !incoming_.empty(); incoming_.pop_front())
        out[(*got)++] = incoming_.front();
    return *got > 0;
}

bool QueueDevice::Write(const void*, DWORD count, DWORD* written, DWORD*) {
    *written = count;
    return true;
}

void QueueDevice::Cancel() {
    std::lock_guard lock(mutex_);
    if (!ignoreCancel_) failure_ = ERROR_OPERATION_ABORTED;
    changed_.notify_all();
}

void QueueDevice::Push(const std::string& bytes, DWORD failure) {
    std::lock_guard lock(mutex_);
    incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
    if (failure) failure_ = failure;
    changed_.notify_all();
}

void QueueDevice::IgnoreCancel() {
    std::lock_guard lock(mutex_);
    ignoreCancel_ = true;
}

bool QueueDevice::WaitForReads(int blocked, int milliseconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                             [&] { return blocked_ == blocked && incoming_.empty(); });
}

namespace {

// The kernel's state letter of thread `tid` of this process ('S' asleep, 'R' running or ready).
char ThreadState(const std::string& tid) {
    std::string stat;
    std::getline(std::ifstream("/proc/self/task/" + tid + "/stat"), stat);
    const size_t state = stat.rfind(')') + 2; // the name may hold spaces and parentheses
    return state < stat.size() ? stat[state] : '?';
}

} // namespace

bool WaitUntilAsleep(pid_t tid, int milliseconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    do {
        if (ThreadState(std::to_string(tid)) == 'S') return true;
        std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

int SpinningThreads() {
    constexpr int kLooks = 20;
    const std::string self = std::to_string(gettid());
    std::map<std::string, int> running;
    for (int look = 0; look < kLooks; ++look) {
        for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
            const std::string tid = task.path().filename();
            if (tid != self && ThreadState(tid) == 'R') ++running[tid];
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    return int(
        std::count_if(running.begin(), running.end(), [](const auto& t) { return t.second == kLooks; }));
}

} // namespace orbis::platformtest
