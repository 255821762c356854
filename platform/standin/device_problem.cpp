// Why a host printer's node could not be opened, in words a user can act on:
// the Windows error codes the library sees (ERROR_ACCESS_DENIED, ...) do not
// say which node or what to do about it.
#include "device_problem.h"

#include "../orbis_platform.h"

#include <cerrno>
#include <cstring>
#include <mutex>

namespace orbis::platform {

namespace {

std::mutex g_mutex;
std::string g_problem; // under g_mutex
thread_local std::string t_openCause;

} // namespace

void NoteHostNodeOpen(const std::string& node, int error) {
    std::string text;
    if (error == EACCES || error == EPERM)
        text = "permission denied on " + node + ": add your user to the lp group and log in again";
    else if (error == EBUSY)
        text = node + " is in use by another program (a print job?): try again when it is done";
    else if (error != 0 && error != ENOENT && error != ENODEV && error != ENXIO)
        text = node + ": " + std::strerror(error);
    t_openCause = text;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!text.empty() || g_problem.find(node) != std::string::npos) g_problem = text;
}

std::string ThreadOpenCause() {
    return t_openCause;
}

void ForgetThreadOpenCause() {
    t_openCause.clear();
}

void NoteHostProblem(const std::string& text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_problem = text;
}

std::string HostDeviceProblem() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_problem;
}

void ClearHostDeviceProblem() {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_problem.clear();
}

} // namespace orbis::platform
