#include "e2e_env.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sys/wait.h>

CliRun RunCli(const std::string& args, const std::string& env) {
    const char* bin = std::getenv("ORBIS_BIN_DIR");
    std::string command = env + " '" + std::string(bin ? bin : ".") + "/orbis-cli' " + args;
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    std::array<char, 4096> buffer;
    for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;)
        run.out.append(buffer.data(), n);
    int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::string> SimLog(const std::string& root) {
    std::vector<std::string> lines;
    for (const auto& entry : std::filesystem::directory_iterator(root)) {
        if (entry.path().filename().string().rfind("sim-", 0) != 0) continue;
        std::ifstream log(entry.path());
        for (std::string line; std::getline(log, line);)
            lines.push_back(line);
    }
    return lines;
}

void E2eTest::SetUp() {
    setenv("ORBIS_ROOT", root_.Path().c_str(), 1);
    unsetenv("ORBIS_WINDOWS_FAMILY");
    const char* source = std::getenv("ORBIS_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "ORBIS_SOURCE_DIR is set by CTest";
    work_ = root_.Path() + "/work";
    std::filesystem::create_directories(work_);
    std::filesystem::copy_file(std::string(source) + "/res/quillon.ini", work_ + "/quillon.ini");
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(work_);
}

void E2eTest::TearDown() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}
