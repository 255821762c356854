#include "e2e_env.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
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

CliValues ParseValues(const std::string& out) {
    CliValues values;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t eq = line.find('=');
        if (eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
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
