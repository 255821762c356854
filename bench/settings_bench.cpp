// Catalogue load plus document build: the shipped catalogue, and generated
// catalogues 10 and 100 times its size (every section copied under new names, so
// the parse grows while the sections the program reads stay the same).
// Target: shipped within 5 ms; 100x within 120x the shipped time.
#include "npa_catalogue.h"
#include "printer_doc.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string Shipped() {
    std::string root;
    if (const char* env = std::getenv("ORBIS_SOURCE_DIR")) {
        root = env;
    } else {
        root = __FILE__; // .../bench/settings_bench.cpp
        root = root.substr(0, root.rfind('/'));
        root = root.substr(0, root.rfind('/'));
    }
    std::ifstream in(root + "/res/quillon.ini", std::ios::binary);
    if (!in) std::abort();
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Scaled(const std::string& shipped, int factor) {
    std::string out = shipped;
    for (int copy = 1; copy < factor; ++copy) {
        std::istringstream lines(shipped);
        std::string line;
        while (std::getline(lines, line)) {
            if (!line.empty() && line[0] == '[') {
                size_t close = line.find(']');
                line = line.substr(0, close) + "_c" + std::to_string(copy) + "]";
            }
            out += line + "\n";
        }
    }
    return out;
}

// Two directories with catalogues that differ in one comment, visited in turn, so
// that every iteration parses the file afresh as a start-up does.
struct Fixture {
    std::string dirs[2];
    explicit Fixture(int factor) {
        std::string content = Scaled(Shipped(), factor);
        for (int i = 0; i < 2; ++i) {
            char dir[] = "/tmp/settings_benchXXXXXX";
            if (!mkdtemp(dir)) std::abort();
            dirs[i] = dir;
            std::ofstream(dirs[i] + "/quillon.ini", std::ios::binary) << "; copy " << i << "\n" << content;
        }
        // Let the files' time stamps settle, as an installed catalogue's have.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    ~Fixture() {
        for (const std::string& d : dirs) {
            std::remove((d + "/quillon.ini").c_str());
            rmdir(d.c_str());
        }
    }
};

void LoadAndBuild(benchmark::State& state) {
    int factor = static_cast<int>(state.range(0));
    Fixture fixture(factor);
    char previous[4096];
    if (!getcwd(previous, sizeof previous)) std::abort();
    size_t turn = 0;
    for (auto _ : state) {
        if (chdir(fixture.dirs[turn++ % 2].c_str()) != 0) std::abort();
        settings_internal::ResetNpaCatalogue();
        LoadNpaCatalogue();
        CPrinterDoc doc;
        doc.OnNewDocument("LPT1", NpaDefaultValues, 0);
        benchmark::DoNotOptimize(doc.BlankPgs.size());
    }
    if (chdir(previous) != 0) std::abort();
    state.counters["write_commands"] = static_cast<double>(NpaWriteCommands.size());
}

} // namespace

BENCHMARK(LoadAndBuild)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
