// The database jobs on the user's path: `relikorda-recover --device DIR` on device folders holding
// one SMS-shaped mmssms.db (10, 20, 40 and 200 MB), the same of short texts only (20 to 180
// characters, no word index: about 175 bytes a message) or one contacts2.db (10, 20, 40 MB and
// 50,000 contacts), each made by sqlite3 from the public Android schemas with 30 % of the rows
// deleted, against `sqlite3 DB .recover` on the same file, in alternating runs.
//
// Usage: database_bench [--pairs N] [--sms 10,...] [--short-sms 10,...] [--contacts 10,...] [--bin DIR]
//                       [--sqlite3 PATH] [--against DIR] [--runs DIR] [folder]
//   --pairs     alternating pairs per database after a warm-up run of each (5)
//   --sms       SMS database sizes in MB (10,20,40,200; 0 for none)
//   --short-sms sizes in MB of the SMS databases of short texts (10,20,40,200; 0 for none)
//   --contacts  contacts database sizes in MB (10,20,40; a size above 1000 is a number of
//               contacts: 50000)
//   --bin       the folder of another build's relikorda-recover (to compare builds)
//   --sqlite3   the sqlite3 program to compare with: its .recover needs the sqlite_dbpage table,
//               which Debian 12's sqlite3 leaves out; a build configured with -DRK_SQLITE3_RECOVER=ON
//               makes one from the Debian source package (bin/sqlite3-recover) and uses it by default
//   --against   compare with the relikorda-recover of another build's folder instead of sqlite3,
//               its peak RSS beside ours, and the two runs' folders compared file by file
//   --runs      where the runs write their folders (the bench's folder): on ext4, making thousands
//               of files soon after as many were removed costs more system time than the recovery;
//               a tmpfs (/dev/shm/...) keeps that out of the figures
// The databases are made on the first run and kept in the folder (build/bench-data/databases).
// Per database: the medians, peak RSS against the file's size, the median of the pair ratios (by
// wall time, and by user + system time, which a loaded machine sways less), the job's summary, and
// for SMS how many texts of the deleted messages came back as stored; per kind, the growth of the
// time from one size to the next.
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/BenchSupport.h"

namespace {

// Bytes a message or a contact takes in the made databases (about): sizes become counts.
constexpr double kMessagesPerMb = 2380;
constexpr double kShortMessagesPerMb = 6450;
constexpr double kContactsPerMb = 930;

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

double FileMb(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size / 1048576.0 : 0;
}

std::string Load() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return "load " + a + " " + b + " " + c;
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string Quote(const std::string& text) { return "'" + text + "'"; }

// Runs argv with its standard output into outPath (or discarded) and its errors discarded.
BenchRun Spawn(const std::vector<std::string>& argv, const std::string& outPath = std::string()) {
    return SpawnMeasured(argv, std::string(), outPath);
}

std::vector<int> ParseSizes(const std::string& text) {
    std::vector<int> sizes;
    std::stringstream in(text);
    std::string piece;
    while (std::getline(in, piece, ','))
        if (int size = std::atoi(piece.c_str())) sizes.push_back(size);
    return sizes;
}

struct Database {
    bool sms = true;
    bool shortTexts = false;  // SMS of 20 to 180 characters alone
    int size = 0;  // MB, or contacts above 1000
    std::string name, db, device;

    long Count() const {
        if (!sms && size > 1000) return size;
        return static_cast<long>(size * (!sms ? kContactsPerMb : shortTexts ? kShortMessagesPerMb : kMessagesPerMb));
    }
    std::string Label() const {
        if (!sms && size > 1000) return std::to_string(size) + " contacts";
        return std::to_string(size) + " MB";
    }
};

// What the database is, as the lines name it.
const char* KindName(const Database& d) {
    return !d.sms ? "contacts2.db" : d.shortTexts ? "mmssms.db of short texts" : "mmssms.db";
}

// Makes the database (once) and its device folder: the file linked into the place the phone keeps it.
bool Prepare(Database& d, const std::string& folder) {
    d.name = std::string(!d.sms ? "contacts-" : d.shortTexts ? "sms-short-" : "sms-") + std::to_string(d.size);
    d.db = folder + "/" + d.name + ".db";
    d.device = folder + "/device-" + d.name;
    if (!Exists(d.db)) {
        std::printf("making %s (%ld %s) with sqlite3 ...\n", d.db.c_str(), d.Count(), d.sms ? "messages" : "contacts");
        std::fflush(stdout);
        const std::string script = d.sms ? RK_DB_SMS_SCRIPT : RK_DB_CONTACTS_SCRIPT;
        const std::string schema = std::string(RK_DB_SCHEMA_DIR) + (d.sms ? "/mmssms.sql" : "/contacts2.sql");
        if (!Shell(Quote(script) + " " + Quote(schema) + " " + Quote(d.db) + " " + std::to_string(d.Count()) +
                   (d.shortTexts ? " short" : "")))
            return false;
    }
    const std::string databases = d.device + (d.sms ? "/fs/data/data/com.android.providers.telephony/databases"
                                                    : "/fs/data/data/com.android.providers.contacts/databases");
    const std::string file = databases + (d.sms ? "/mmssms.db" : "/contacts2.db");
    return Shell("rm -rf " + Quote(d.device) + " && mkdir -p " + Quote(databases) + " && printf '[device]\\nversion=4.4\\n' > " +
                 Quote(d.device + "/device.ini") + " && (ln " + Quote(d.db) + " " + Quote(file) + " || cp " + Quote(d.db) +
                 " " + Quote(file) + ")");
}

// The texts of every "text" element in the run's conversation documents.
std::unordered_set<std::string> RecoveredTexts(const std::string& run) {
    std::unordered_set<std::string> texts;
    FILE* list = popen(("ls " + Quote(run) + "/*/sms/*.xml 2>/dev/null").c_str(), "r");
    if (!list) return texts;
    char path[4096];
    const std::string open = "<text type=\"1\">", close = "</text>";
    while (std::fgets(path, sizeof path, list)) {
        std::string name(path);
        if (!name.empty() && name.back() == '\n') name.pop_back();
        std::ifstream in(name);
        std::stringstream all;
        all << in.rdbuf();
        const std::string xml = all.str();
        for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at)) {
            at += open.size();
            size_t end = xml.find(close, at);
            if (end == std::string::npos) break;
            texts.insert(xml.substr(at, end - at));
            at = end;
        }
    }
    pclose(list);
    return texts;
}

// How many texts of the deleted messages (the maker's list) the run gave back as they were stored.
std::string DeletedTextsFound(const Database& d, const std::string& run) {
    std::unordered_set<std::string> texts = RecoveredTexts(run);
    std::ifstream in(d.db + ".deleted");
    std::string line;
    long all = 0, found = 0;
    while (std::getline(in, line)) {
        ++all;
        found += texts.count(line) != 0;
    }
    char text[128];
    std::snprintf(text, sizeof text, "texts of deleted messages recovered as stored: %ld of %ld", found, all);
    return text;
}

// The job's summary lines from its standard output.
std::string Summary(const std::string& path, bool sms) {
    std::ifstream in(path);
    std::string line, lines;
    const std::string prefix = sms ? "sms: " : "contacts: ";
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0 && line.find('%') == std::string::npos &&
            line.find("done") == std::string::npos)
            lines += (lines.empty() ? "" : "; ") + line;
    return lines;
}

struct Figures {
    double mb = 0, ours = 0, theirs = 0, ratio = 0;
    double oursCpu = 0, theirsCpu = 0, cpuRatio = 0;  // user + system seconds: less swayed by the load
    long peakKiB = 0, theirPeakKiB = 0;
};

// Whether the program's .recover gives the rows of a database back.
bool RecoverWorks(const std::string& sqlite3, const std::string& db, const std::string& scratch) {
    Spawn({sqlite3, db, ".recover"}, scratch);
    std::ifstream in(scratch);
    std::string line;
    bool rows = false;
    while (!rows && std::getline(in, line)) rows = line.compare(0, 12, "INSERT INTO ") == 0;
    std::remove(scratch.c_str());
    return rows;
}

Figures Measure(const Database& d, const std::string& runs, const std::string& bin, const std::string& sqlite3,
                const std::string& against, int pairs) {
    Figures f;
    f.mb = FileMb(d.db);
    const std::string outs = runs + "/out-" + d.name;
    Shell("mkdir -p " + Quote(outs));
    const std::string recover = bin + "/relikorda-recover";
    const std::string stdoutPath = outs + "/stdout.txt";
    auto ours = [&](int i) {
        return Spawn({recover, "--device", d.device, "--out", outs + "/" + std::to_string(i)}, stdoutPath);
    };
    const std::string peer = against.empty() ? "sqlite3 .recover" : "against";
    auto theirs = [&](int i) {
        if (against.empty()) return Spawn({sqlite3, d.db, ".recover"});
        return Spawn({against + "/relikorda-recover", "--device", d.device, "--out", outs + "/against-" + std::to_string(i)});
    };
    std::printf("== %s %s (%.1f MB) (%s)\n", KindName(d), d.Label().c_str(), f.mb, Load().c_str());
    std::fflush(stdout);
    Shell("cat " + Quote(d.db) + " > /dev/null");
    ours(0);
    if (!against.empty()) theirs(0);
    else if (!RecoverWorks(sqlite3, d.db, outs + "/recover.sql"))
        std::printf("  %s .recover gives no rows back here (no sqlite_dbpage?): its times mean nothing; see "
                    "--sqlite3 and -DRK_SQLITE3_RECOVER=ON\n", sqlite3.c_str());
    std::vector<double> a, b, ratio, aCpu, bCpu, cpuRatio;
    for (int i = 1; i <= pairs; ++i) {
        BenchRun x = ours(i);
        BenchRun y = theirs(i);
        const double xCpu = x.user + x.sys, yCpu = y.user + y.sys;
        a.push_back(x.wall);
        b.push_back(y.wall);
        ratio.push_back(x.wall / y.wall);
        aCpu.push_back(xCpu);
        bCpu.push_back(yCpu);
        cpuRatio.push_back(yCpu > 0 ? xCpu / yCpu : 0);
        f.peakKiB = std::max(f.peakKiB, x.peakKiB);
        f.theirPeakKiB = std::max(f.theirPeakKiB, y.peakKiB);
        std::printf("  pair %d: relikorda-recover %.3f s (cpu %.3f), %.0f MB (exit %d); %s %.3f s (cpu %.3f), %.0f MB "
                    "(exit %d)\n",
                    i, x.wall, xCpu, x.peakKiB / 1024.0, x.status, peer.c_str(), y.wall, yCpu, y.peakKiB / 1024.0,
                    y.status);
        std::fflush(stdout);
    }
    f.ours = MedianOf(a);
    f.theirs = MedianOf(b);
    f.ratio = MedianOf(ratio);
    f.oursCpu = MedianOf(aCpu);
    f.theirsCpu = MedianOf(bCpu);
    f.cpuRatio = MedianOf(cpuRatio);
    std::printf("  relikorda-recover median %.3f s, peak RSS %.0f MB (%.2f times the database); %s median %.3f s, "
                "peak RSS %.0f MB; median of pair ratios %.2f\n",
                f.ours, f.peakKiB / 1024.0, f.peakKiB / 1024.0 / f.mb, peer.c_str(), f.theirs,
                f.theirPeakKiB / 1024.0, f.ratio);
    std::printf("  cpu time (user + system): relikorda-recover median %.3f s, %s median %.3f s; median of pair "
                "ratios %.2f\n",
                f.oursCpu, peer.c_str(), f.theirsCpu, f.cpuRatio);
    if (!against.empty()) {
        // Each run writes into a folder named by its start: the folders inside are compared.
        const std::string mine = outs + "/" + std::to_string(pairs), other = outs + "/against-" + std::to_string(pairs);
        std::printf("  the last pair's run folders: %s\n",
                    Shell("diff -r " + Quote(mine) + "/* " + Quote(other) + "/* > /dev/null") ? "the same"
                                                                                              : "DIFFERENT");
    }
    std::printf("  %s\n", Summary(stdoutPath, d.sms).c_str());
    if (d.sms) std::printf("  %s\n", DeletedTextsFound(d, outs + "/" + std::to_string(pairs)).c_str());
    // A child's peak RSS counts what it shared with this process before it ran its program: the
    // texts just read are given back, so that the next database's runs are not charged for them.
    malloc_trim(0);
    std::printf("  (%s)\n", Load().c_str());
    std::fflush(stdout);
    return f;
}

void Growth(const char* kind, const std::vector<Database>& dbs, const std::vector<Figures>& figures) {
    if (figures.size() < 2) return;
    std::printf("== %s growth:", kind);
    for (size_t i = 1; i < figures.size(); ++i)
        std::printf("  %s -> %s: %.2f times the size, %.2f times the time;", dbs[i - 1].Label().c_str(),
                    dbs[i].Label().c_str(), figures[i].mb / figures[i - 1].mb, figures[i].ours / figures[i - 1].ours);
    std::printf("\n== %s growth by cpu time:", kind);
    for (size_t i = 1; i < figures.size(); ++i)
        std::printf("  %s -> %s: %.2f times the cpu time;", dbs[i - 1].Label().c_str(), dbs[i].Label().c_str(),
                    figures[i - 1].oursCpu > 0 ? figures[i].oursCpu / figures[i - 1].oursCpu : 0);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    int pairs = 5;
    std::vector<int> sms = {10, 20, 40, 200}, shortSms = {10, 20, 40, 200}, contacts = {10, 20, 40, 50000};
    std::string folder = RK_DB_DEFAULT_DIR, bin = RK_BIN_DIR, sqlite3 = RK_SQLITE3_PEER, runs, against;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--pairs" && i + 1 < argc) pairs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--sms" && i + 1 < argc) sms = ParseSizes(argv[++i]);
        else if (a == "--short-sms" && i + 1 < argc) shortSms = ParseSizes(argv[++i]);
        else if (a == "--contacts" && i + 1 < argc) contacts = ParseSizes(argv[++i]);
        else if (a == "--bin" && i + 1 < argc) bin = argv[++i];
        else if (a == "--sqlite3" && i + 1 < argc) sqlite3 = argv[++i];
        else if (a == "--runs" && i + 1 < argc) runs = argv[++i];
        else if (a == "--against" && i + 1 < argc) against = argv[++i];
        else if (a.compare(0, 2, "--") == 0) {
            std::fprintf(stderr, "usage: database_bench [--pairs N] [--sms MB,...] [--short-sms MB,...] "
                                 "[--contacts MB,...] [--bin DIR] [--sqlite3 PATH] [--against DIR] [--runs DIR] "
                                 "[folder]\n");
            return 2;
        } else folder = a;
    }
    if (runs.empty()) runs = folder;
    if (!Shell("mkdir -p " + Quote(folder) + " " + Quote(runs))) return 1;
    for (std::string* path : {&folder, &runs})
        if (char* absolute = realpath(path->c_str(), nullptr)) {
            *path = absolute;
            std::free(absolute);
        }
    // The runs' folders are removed only after the runs: a file system that removed thousands of
    // files a moment ago makes new ones slowly, and no run should pay for that.
    const std::string old = runs + "/old-runs/" + std::to_string(getpid());
    Shell("mkdir -p " + Quote(old) + " && for d in " + Quote(runs) + "/out-*; do [ -e \"$d\" ] && mv \"$d\" " +
          Quote(old) + "/; done; true");
    enum Kind { kSms, kShortSms, kContacts };
    for (Kind kind : {kSms, kShortSms, kContacts}) {
        std::vector<Database> dbs;
        for (int size : kind == kSms ? sms : kind == kShortSms ? shortSms : contacts) {
            Database d;
            d.sms = kind != kContacts;
            d.shortTexts = kind == kShortSms;
            d.size = size;
            if (!Prepare(d, folder)) {
                std::fprintf(stderr, "could not make %s\n", d.db.c_str());
                return 1;
            }
            dbs.push_back(d);
        }
        std::vector<Figures> figures;
        for (const Database& d : dbs) figures.push_back(Measure(d, runs, bin, sqlite3, against, pairs));
        if (!dbs.empty()) Growth(KindName(dbs.front()), dbs, figures);
    }
    Shell("rm -rf " + Quote(runs + "/old-runs"));
    return 0;
}
