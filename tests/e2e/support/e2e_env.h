// Shared by the end-to-end tests: a private root whose working directory holds
// the shipped catalogue, and orbis-cli run as a separate process in it.
#pragma once

#include "tests/sim/sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

struct CliRun {
    int status = -1; // the exit code; -1 when the program did not exit normally
    std::string out;
};

// Runs `env 'orbis-cli' args` through the shell in the current directory.
CliRun RunCli(const std::string& args, const std::string& env = "");

// The lines of the simulators' activity logs ("sim-*" under the root), in order.
std::vector<std::string> SimLog(const std::string& root);

class E2eTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    orbis::test::TempRoot root_;
    std::string work_; // the working directory, holding the catalogue
    std::filesystem::path previous_;
};
