#include "backup_store.h"

#include "npa_exchange.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

constexpr const char* kSuffix = ".profile";

// A port name as part of a file name: letters, digits, '-' and '_' kept, others '_'.
std::string FilePart(const std::string& port) {
    std::string part;
    for (char c : port)
        part += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
    return part.empty() ? "_" : part;
}

// "PORT-YYYYMMDDTHHMMSSmmmZ.profile": sorts by time within a port.
bool SplitName(const std::string& name, std::string& port, std::string& stamp) {
    const size_t stampSize = 19; // 20261206T070000123Z
    if (name.size() < stampSize + 2 + std::char_traits<char>::length(kSuffix)) return false;
    if (name.compare(name.size() - 8, 8, kSuffix) != 0) return false;
    size_t dash = name.size() - 8 - stampSize - 1;
    if (name[dash] != '-') return false;
    port = name.substr(0, dash);
    stamp = name.substr(dash + 1, stampSize);
    return stamp[8] == 'T' && stamp.back() == 'Z';
}

std::string Iso(const std::string& stamp) {
    return stamp.substr(0, 4) + "-" + stamp.substr(4, 2) + "-" + stamp.substr(6, 2) + "T" +
           stamp.substr(9, 2) + ":" + stamp.substr(11, 2) + ":" + stamp.substr(13, 2) + "." +
           stamp.substr(15, 3) + "Z";
}

std::string StampNow() {
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%dT%H%M%S", &tm);
    char full[40];
    std::snprintf(full, sizeof full, "%s%03dZ", text, int(ms));
    return full;
}

} // namespace

BackupStore::BackupStore(std::string directory) : Directory_(std::move(directory)) {}

std::vector<BackupEntry> BackupStore::List(const std::string& port) const {
    std::vector<BackupEntry> entries;
    std::error_code ec;
    std::string wanted = port.empty() ? "" : FilePart(port);
    for (fs::directory_iterator it(Directory_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::string filePort, stamp;
        if (!it->is_regular_file(ec) || !SplitName(name, filePort, stamp)) continue;
        if (!wanted.empty() && filePort != wanted) continue;
        entries.push_back({name, it->path().string(), filePort, Iso(stamp)});
    }
    std::sort(entries.begin(), entries.end(), [](const BackupEntry& a, const BackupEntry& b) {
        return a.Saved != b.Saved ? a.Saved > b.Saved : a.Id > b.Id;
    });
    return entries;
}

bool BackupStore::Save(const std::string& port, const StringMap& values, std::string& error,
                       BackupEntry* saved) {
    std::error_code ec;
    fs::create_directories(Directory_, ec);
    if (ec) {
        error = "cannot create " + Directory_ + ": " + ec.message();
        return false;
    }
    // Private: the settings of the printers are the administrator's business.
    fs::permissions(Directory_, fs::perms::owner_all, ec);
    std::string stamp = StampNow();
    // Two backups within one millisecond: the later one waits its turn.
    while (fs::exists(Directory_ + "/" + FilePart(port) + "-" + stamp + kSuffix, ec)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        stamp = StampNow();
    }
    std::string name = FilePart(port) + "-" + stamp + kSuffix;
    std::string path = Directory_ + "/" + name;
    if (!WriteProfile(path, MakeProfile(port, values), error)) return false;
    if (saved) *saved = {name, path, FilePart(port), Iso(stamp)};
    std::vector<BackupEntry> entries = List(port);
    for (size_t i = kKept; i < entries.size(); ++i)
        fs::remove(entries[i].Path, ec);
    return true;
}

bool BackupStore::Load(const std::string& port, const std::string& id, Profile& profile,
                       std::vector<ProfileProblem>& problems) const {
    problems.clear();
    std::vector<BackupEntry> entries = List(port);
    for (const BackupEntry& entry : entries)
        if (id.empty() || entry.Id == id) return ReadProfile(entry.Path, profile, problems);
    problems.push_back({0, ProfileProblemKind::Unreadable, "", "",
                        id.empty() ? "no backup of " + port + " in " + Directory_
                                   : "no backup " + id + " of " + port + " in " + Directory_});
    return false;
}

int BackupBeforeWrite(BackupStore& store, const char* port, std::string& error) {
    StringMap values;
    int result = QueryPrinterSettings(port, values);
    if (result != 0) return result;
    return store.Save(port, values, error) ? 0 : kBackupFailed;
}
