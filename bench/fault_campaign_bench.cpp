// Fault campaign: against a simulated printer on LPT1 and USB001 it runs
// exchanges (query, apply, offline/online), each after injecting a fault drawn
// at random through the printer's control socket, and checks that the printer
// survives it: the next clean query reads every setting, an apply whose offline
// request succeeded ends with the printer online, and the process holds no more
// threads or file descriptors than before.
//   fault_campaign_bench [--exchanges N] [--seed S] [--every-kind]
// --every-kind draws each kind once, ports alternating (the short form that the
// test suite runs). Exit status 0 only when every fault was survived.
#include "dvc_internal.h"
#include "npa_catalogue.h"
#include "npa_exchange.h"
#include "tests/sim/sim_process.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Kind {
    const char* name;
    const char* control; // the printer's behaviour options while the fault lasts; null: kill and restart
};

const Kind kKinds[] = {
    {"late reply (after the 5 s wait)", "--delay 6500"},
    {"no reply", "--silent"},
    {"command error", "--command-errors"},
    {"reply to another command first", "--foreign-first"},
    {"unsolicited packet first", "--unsolicited-first"},
    {"stray bytes", "--stray 2"},
    {"chained and split replies", "--chain 40 --pieces 1,7,31,32,random"},
    {"alert first", "--alert-first"},
    {"dropped connection", "--drop-after 12"},
    {"printer killed and started again", nullptr},
};
constexpr int kKindCount = int(sizeof kKinds / sizeof kKinds[0]);
const char* const kPorts[] = {"LPT1", "USB001"};
const char* const kOperations[] = {"query", "apply", "offline/online"};

size_t Entries(const char* dir) {
    size_t n = 0;
    for (auto it = fs::directory_iterator(dir); it != fs::directory_iterator(); ++it)
        ++n;
    return n;
}

// Sends one line to the printer's control socket and returns its answer.
std::string Control(const std::string& path, const std::string& line) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        std::string out = line + "\n";
        if (::send(fd, out.data(), out.size(), MSG_NOSIGNAL) == ssize_t(out.size()))
            for (char c; ::recv(fd, &c, 1, 0) == 1 && c != '\n';)
                answer += c;
    }
    ::close(fd);
    return answer;
}

// Ends the library's use of the port as the application does at exit.
void EndLink(const char* port) {
    ShutdownPrinterLink(port);
    settings_internal::ResetNpaCatalogue();
    G_bInitialized = false;
}

class Campaign {
  public:
    explicit Campaign(const std::string& root) : root_(root), control_(root + "/control") {}

    bool Start() {
        sim_ = std::make_unique<orbis::test::SimProcess>(
            root_, std::vector<std::string>{"--lpt", "1", "--usb", "1", "--control", control_});
        return sim_->Ready();
    }
    void Kill() { sim_->Kill(); }

    bool PrinterOffline() { return Control(control_, "state") == "offline"; }

    // One exchange; returns the settings layer's or the library's result.
    int Run(const char* port, int operation, size_t* settings, bool* offlineGranted) {
        *offlineGranted = false;
        int rc = 0;
        if (operation == 0) {
            StringMap values;
            rc = QueryPrinterSettings(port, values);
            *settings = values.size();
        } else if (operation == 1) {
            rc = WritePrinterSettings(port, {"PWRSVR:" + std::to_string(10 + ++applies_ % 50)});
            // The Part's rule: a refused or failed offline request sends nothing more.
            *offlineGranted = rc == 0;
        } else {
            rc = DvcOpenPort(port);
            if (rc >= 0) {
                rc = DvcOffline(port, true);
                *offlineGranted = rc == DVC_OK;
                int back = DvcOffline(port, false);
                if (rc == DVC_OK) rc = back;
            }
        }
        EndLink(port);
        return rc;
    }

    const std::string& ControlPath() const { return control_; }

  private:
    std::string root_, control_;
    std::unique_ptr<orbis::test::SimProcess> sim_;
    int applies_ = 0;
};

} // namespace

int main(int argc, char** argv) {
    int exchanges = 40;
    unsigned seed = 1;
    bool everyKind = false;
    unsigned long logLevel = 0; // the library's LoggingLevel; its log stays in ORBIS_ROOT's C: drive
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--exchanges" && i + 1 < argc)
            exchanges = std::atoi(argv[++i]);
        else if (a == "--seed" && i + 1 < argc)
            seed = unsigned(std::atoi(argv[++i]));
        else if (a == "--every-kind")
            everyKind = true;
        else if (a == "--log-level" && i + 1 < argc)
            logLevel = std::strtoul(argv[++i], nullptr, 0);
        else {
            std::fprintf(stderr, "usage: fault_campaign_bench [--exchanges N] [--seed S] [--every-kind]\n");
            return 2;
        }
    }
    if (everyKind) exchanges = kKindCount;

    orbis::test::TempRoot root;
    ::setenv("ORBIS_ROOT", root.Path().c_str(), 1);
    if (logLevel) {
        HKEY key = nullptr;
        DWORD level = DWORD(logLevel);
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VANTREL\\VANDVC", 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        RegSetValueExA(key, "LoggingLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level),
                       sizeof level);
        RegCloseKey(key);
    }
    const char* source = std::getenv("ORBIS_SOURCE_DIR");
    fs::path catalogue = fs::path(source ? source : ORBIS_SOURCE_DIR) / "res" / "quillon.ini";
    fs::create_directories(root.Path() + "/work");
    fs::copy_file(catalogue, root.Path() + "/work/quillon.ini");
    fs::current_path(root.Path() + "/work");

    Campaign campaign(root.Path());
    if (!campaign.Start()) {
        std::fprintf(stderr, "fault_campaign: the simulated printer did not start\n");
        return 1;
    }
    // The reference: what a clean query reads, and what the process holds afterwards.
    size_t all = 0;
    bool granted = false;
    for (const char* port : kPorts)
        if (campaign.Run(port, 0, &all, &granted) != 0 || all == 0) {
            std::fprintf(stderr, "fault_campaign: a clean query on %s failed\n", port);
            return 1;
        }
    const size_t threadsBefore = Entries("/proc/self/task"), fdsBefore = Entries("/proc/self/fd");
    size_t threadsMax = threadsBefore, fdsMax = fdsBefore;

    std::mt19937 random(seed);
    std::map<std::string, int> injected, survived;
    std::vector<std::string> failures;
    int run = 0;
    for (int i = 0; i < exchanges; ++i) {
        const char* port = kPorts[everyKind ? i % 2 : random() % 2];
        const Kind& kind = kKinds[everyKind ? i : int(random() % kKindCount)];
        const int operation = int(everyKind ? i % 3 : random() % 3);
        std::string key = std::string(kind.name) + " on " + port;
        ++injected[key];

        if (kind.control)
            Control(campaign.ControlPath(), kind.control);
        else
            campaign.Kill();
        size_t settings = 0;
        int faulted = campaign.Run(port, operation, &settings, &granted);
        ++run;
        if (!kind.control && !campaign.Start()) {
            std::fprintf(stderr, "fault_campaign: the simulated printer did not start again\n");
            return 1;
        }
        Control(campaign.ControlPath(), "");

        std::string problem;
        if (granted && campaign.PrinterOffline()) problem = "left offline by an apply";
        if (campaign.PrinterOffline()) {
            // Put back online for the next exchange (an offline request that failed leaves it so).
            campaign.Run(port, 2, &settings, &granted);
        }
        int clean = campaign.Run(port, 0, &settings, &granted);
        ++run;
        if (logLevel && clean != 0)
            fs::copy_file(root.Path() + "/c/VanDvc32.log",
                          root.Path() + "/failed-" + std::to_string(i) + ".log");
        if (problem.empty() && (clean != 0 || settings != all))
            problem = "next query gave " + std::to_string(clean) + " with " + std::to_string(settings) +
                      " of " + std::to_string(all) + " settings";
        // A thread that has let go of the library still takes a moment to exit
        // (and an overlapped read's worker to close its device): counts must
        // come back within a second, not at once.
        size_t threads = 0, fds = 0;
        for (int wait = 0; wait < 100; ++wait) {
            threads = Entries("/proc/self/task"), fds = Entries("/proc/self/fd");
            if (threads <= threadsBefore && fds <= fdsBefore) break;
            ::usleep(10000);
        }
        threadsMax = std::max(threadsMax, threads);
        fdsMax = std::max(fdsMax, fds);
        if (problem.empty() && (threads > threadsBefore || fds > fdsBefore))
            problem = "holds " + std::to_string(threads) + " threads and " + std::to_string(fds) +
                      " descriptors, " + std::to_string(threadsBefore) + " and " + std::to_string(fdsBefore) +
                      " before";
        if ((i + 1) % 25 == 0)
            std::fprintf(stderr, "%d exchanges run, %zu faults not survived\n", run, failures.size());
        if (problem.empty())
            ++survived[key];
        else {
            failures.push_back(key + " (" + kOperations[operation] + ", result " + std::to_string(faulted) +
                               "): " + problem);
            std::fprintf(stderr, "not survived: %s\n", failures.back().c_str());
        }
    }

    int injectedTotal = 0, survivedTotal = 0;
    std::printf("exchanges run: %d\n", run);
    std::printf("%-48s %8s %8s\n", "fault", "injected", "survived");
    for (const auto& [key, n] : injected) {
        injectedTotal += n;
        survivedTotal += survived[key];
        std::printf("%-48s %8d %8d\n", key.c_str(), n, survived[key]);
    }
    std::printf("faults injected: %d, survived: %d\n", injectedTotal, survivedTotal);
    std::printf("threads: %zu before, at most %zu; file descriptors: %zu before, at most %zu\n",
                threadsBefore, threadsMax, fdsBefore, fdsMax);
    for (const auto& failure : failures)
        std::printf("NOT SURVIVED: %s\n", failure.c_str());
    if (logLevel) {
        std::string keep = root.Path() + "-kept";
        fs::rename(root.Path(), keep);
        std::printf("root kept in %s\n", keep.c_str());
    }
    return failures.empty() ? 0 : 1;
}
