// The whole-device pass on the user's path: `relikorda-recover --device IMAGE` against PhotoRec
// over the same image from the page cache, in alternating runs. The image comes from the script
// the build names (e2e_bench: 1 GiB of mixed files; mp3_bench: 2,000 MP3 files), PhotoRec is asked
// for the families it holds.
//
// Usage: e2e_bench [--load] [--sizes] [--pairs N] [--bin DIR] [work folder]
//   default   five pairs after a warm-up; medians, the median of the pair ratios, dd's time, both
//             tools' recall (byte-identical to the source files), peak RSS and system time per GiB
//   --load    the same pairs again beside a CPU-bound process on every core
//   --sizes   a 1 MiB image's time and peak RSS, and relikorda-recover on the image 1, 2 and 4
//             times over
//   --bin     the folder of another build's relikorda-recover (to compare builds)
//   --phone   a whole phone instead: a device folder holding the image as its storage and a 10 MB
//             mmssms.db and contacts2.db (made by the database bench's scripts), against PhotoRec on
//             the image followed by `sqlite3 DB .recover` on each database (--sqlite3 PATH: a shell
//             with sqlite_dbpage; -DRK_SQLITE3_RECOVER=ON builds one into bin/sqlite3-recover)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"
#include "media_recovery/CRecoveryFilter.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kPhotoRec = "/usr/bin/photorec";
// PhotoRec's families for the files the image holds.
const char* const kPhotoRecFamilies = RK_PHOTOREC_FAMILIES;

using Run = BenchRun;

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

double FileGiB(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size / double(1ull << 30) : 0;
}

std::string Load() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return "load " + a + " " + b + " " + c;
}

// Runs argv in folder cwd (when given) with its output discarded.
Run Spawn(const std::vector<std::string>& argv, const std::string& cwd = std::string()) {
    return SpawnMeasured(argv, cwd);
}

bool Shell(const std::string& command) { return std::system(command.c_str()) == 0; }

void Warm(const std::string& path) { Shell("cat '" + path + "' > /dev/null"); }

// A file's first bytes (up to limit), or all of it.
std::string ReadBytes(const std::string& path, uint64_t limit = UINT64_MAX) {
    std::string bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return bytes;
    char block[1 << 16];
    size_t n;
    while (bytes.size() < limit && (n = std::fread(block, 1, sizeof block, f)) > 0)
        bytes.append(block, static_cast<size_t>(std::min<uint64_t>(n, limit - bytes.size())));
    std::fclose(f);
    return bytes;
}

// What a comparison needs of a file without holding it (the bench's memory is its runs' too: a
// forked child starts with the parent's pages).
struct FileKey {
    std::string path;
    uint64_t size = 0;
    size_t hash = 0;   // of all its bytes
    std::string head;  // its first bytes

    static constexpr size_t kHead = 256;
    explicit FileKey(std::string p = std::string()) : path(std::move(p)) {
        std::string bytes = ReadBytes(path);
        size = bytes.size();
        hash = std::hash<std::string>()(bytes);
        head = bytes.substr(0, kHead);
    }
    // Whether this file holds the other's bytes: all of them (same), or they begin it.
    bool Same(const FileKey& other) const {
        return size == other.size && hash == other.hash && ReadBytes(path) == ReadBytes(other.path);
    }
    bool BeginsWith(const FileKey& other) const {
        size_t n = std::min(head.size(), other.head.size());
        return size > other.size && head.compare(0, n, other.head, 0, n) == 0 &&
               ReadBytes(path, other.size) == ReadBytes(other.path);
    }
};

// Every file under folder.
std::vector<FileKey> Scan(const std::string& folder) {
    std::vector<FileKey> files;
    std::string command = "find '" + folder + "' -type f 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return files;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string path(line);
        if (!path.empty() && path.back() == '\n') path.pop_back();
        files.emplace_back(path);
    }
    pclose(pipe);
    return files;
}

struct Source {
    std::string name;
    FileKey key;
    bool kept = false;  // named by carving into a category relikorda-recover keeps by default
};

std::vector<Source> Sources(const std::string& dir, const std::string& manifest) {
    CRecoveryFilter filter;  // the default categories
    std::set<int> keep;
    int flags = filter.GetCategories();
    for (int category = 0; category < 16; ++category)
        if (CategoryFlag(category) & flags) keep.insert(category);
    std::vector<Source> files;
    std::ifstream in(dir + "/" + manifest);
    uint64_t offset;
    std::string name, type;
    while (in >> offset >> name >> type) {
        Source s;
        s.name = name;
        s.kept = keep.count(filter.GetNameCategory(("x." + type).c_str())) != 0;
        s.key = FileKey(dir + "/src/" + name);
        files.push_back(s);
    }
    return files;
}

struct Recall {
    int kept = 0, identical = 0, complete = 0, all = 0, allIdentical = 0;
    std::string missed;
    int unnamed = 0;  // missed files beyond those listed
};

// Identical: a recovered file has the source's bytes; complete: one starts with the whole source.
Recall Score(const std::vector<Source>& files, const std::vector<FileKey>& got) {
    std::multimap<uint64_t, const FileKey*> bySize;
    for (const FileKey& g : got) bySize.emplace(g.size, &g);
    Recall r;
    int listed = 0;
    for (const Source& s : files) {
        bool identical = false;
        auto same = bySize.equal_range(s.key.size);
        for (auto it = same.first; !identical && it != same.second; ++it) identical = it->second->Same(s.key);
        bool complete = identical;
        for (size_t i = 0; !complete && i < got.size(); ++i) complete = got[i].BeginsWith(s.key);
        ++r.all;
        r.allIdentical += identical;
        if (!s.kept) continue;
        ++r.kept;
        r.identical += identical;
        r.complete += complete;
        if (identical) continue;
        if (++listed > 20) ++r.unnamed;
        else r.missed += " " + s.name + (complete ? " (complete, longer)" : "");
    }
    if (r.unnamed) r.missed += " and " + std::to_string(r.unnamed) + " more";
    return r;
}

void PrintRecall(const char* tool, const Recall& r) {
    std::printf("  %s recall, kept categories: %d/%d byte-identical, %d/%d complete; all files: %d/%d identical%s%s\n",
                tool, r.identical, r.kept, r.complete, r.kept, r.allIdentical, r.all,
                r.missed.empty() ? "" : "; not identical:", r.missed.c_str());
}

class Bench {
public:
    Bench(std::string dir, std::string bin) : dir_(std::move(dir)), bin_(std::move(bin)) {}

    Run Ours(const std::string& image, const std::string& out) {
        Shell("rm -rf '" + out + "'");
        return Spawn({bin_ + "/relikorda-recover", "--device", image, "--out", out});
    }

    // The phone: the image linked in as its storage, the databases where the phone keeps them.
    bool PreparePhone(const std::string& sqlite3) {
        sqlite3_ = sqlite3;
        phone_ = dir_ + "/phone";
        const std::string dbs = dir_ + "/phone-databases";
        const std::string schemas = RK_DB_SCHEMA_DIR;
        sms_ = dbs + "/mmssms.db";
        contacts_ = dbs + "/contacts2.db";
        if (!Shell("mkdir -p '" + dbs + "'")) return false;
        if (!Exists(sms_) && !Shell(std::string("'") + RK_DB_SMS_SCRIPT + "' '" + schemas + "/mmssms.sql' '" + sms_ + "' 23800"))
            return false;
        if (!Exists(contacts_) &&
            !Shell(std::string("'") + RK_DB_CONTACTS_SCRIPT + "' '" + schemas + "/contacts2.sql' '" + contacts_ + "' 9300"))
            return false;
        const std::string fs = phone_ + "/fs/data/data/com.android.providers.";
        return Shell("rm -rf '" + phone_ + "' && mkdir -p '" + phone_ + "/storage' '" + fs + "telephony/databases' '" + fs +
                     "contacts/databases' && printf '[device]\\nversion=4.4\\n' > '" + phone_ + "/device.ini' && ln '" +
                     dir_ + "/image.img' '" + phone_ + "/storage/image.img' && ln '" + sms_ + "' '" + fs +
                     "telephony/databases/mmssms.db' && ln '" + contacts_ + "' '" + fs + "contacts/databases/contacts2.db'");
    }

    // The peer of a phone: PhotoRec on its storage, then .recover of each database; its parts' times.
    Run TheirsPhone(const std::string& out, double& photorec, double& recover) {
        Run r = Theirs(dir_ + "/image.img", out);
        photorec = r.wall;
        recover = 0;
        for (const std::string& db : {sms_, contacts_}) {
            Run d = Spawn({sqlite3_, db, ".recover"});
            recover += d.wall;
            r.user += d.user;
            r.sys += d.sys;
            r.peakKiB = std::max(r.peakKiB, d.peakKiB);
            if (d.status != 0) r.status = d.status;
        }
        r.wall = photorec + recover;
        return r;
    }

    void PhonePairs(int n) {
        const std::string ours = dir_ + "/out-phone-ours", theirs = dir_ + "/out-phone-peer";
        Warm(dir_ + "/image.img");
        Warm(sms_);
        Warm(contacts_);
        std::printf("== phone: %.2f GiB image, 10 MB mmssms.db and contacts2.db; PhotoRec then %s .recover (%s)\n",
                    FileGiB(dir_ + "/image.img"), sqlite3_.c_str(), Load().c_str());
        double p, q;
        Ours(phone_, ours);
        if (photorec_) TheirsPhone(theirs, p, q);
        std::vector<double> a, b, ratio, recovers;
        for (int i = 0; i < n; ++i) {
            Run x = Ours(phone_, ours);
            a.push_back(x.wall);
            std::printf("  pair %d: relikorda-recover %.3f s (exit %d)", i + 1, x.wall, x.status);
            if (photorec_) {
                Run y = TheirsPhone(theirs, p, q);
                b.push_back(y.wall);
                recovers.push_back(q);
                ratio.push_back(x.wall / y.wall);
                std::printf(", peer %.3f s (photorec %.3f, .recover %.3f)", y.wall, p, q);
            }
            std::printf("\n");
        }
        std::printf("  relikorda-recover median %.3f s", MedianOf(a));
        if (photorec_)
            std::printf("; peer median %.3f s (.recover's part %.3f s); median of pair ratios %.3f", MedianOf(b),
                        MedianOf(recovers), MedianOf(ratio));
        std::printf("\n  (%s)\n", Load().c_str());
    }

    Run Theirs(const std::string& image, const std::string& out) {
        Shell("rm -rf '" + out + "' && mkdir -p '" + out + "'");
        std::string cmd = std::string("partition_none,fileopt,everything,disable,") + kPhotoRecFamilies + ",search";
        return Spawn({kPhotoRec, "/log", "/d", out + "/recup", "/cmd", image, cmd}, out);
    }

    double Dd(const std::string& image) {
        std::vector<double> t;
        for (int i = 0; i < 3; ++i)
            t.push_back(Spawn({"/bin/dd", "if=" + image, "of=/dev/null", "bs=4M"}).wall);
        return MedianOf(t);
    }

    // Five (or n) alternating pairs after one warm-up run of each.
    void Pairs(int n, const char* title) {
        std::string image = dir_ + "/image.img";
        double gib = FileGiB(image);
        std::string ours = dir_ + "/out-ours", theirs = dir_ + "/out-photorec";
        Warm(image);
        std::printf("== %.2f GiB image, %s (%s)\n", gib, title, Load().c_str());
        Ours(image, ours);
        if (photorec_) Theirs(image, theirs);
        std::vector<double> a, b, ratio, sys;
        long peakOurs = 0, peakTheirs = 0;
        for (int i = 0; i < n; ++i) {
            Run x = Ours(image, ours);
            a.push_back(x.wall);
            sys.push_back(x.sys);
            peakOurs = std::max(peakOurs, x.peakKiB);
            std::printf("  pair %d: relikorda-recover %.3f s (user %.3f, sys %.3f, exit %d)", i + 1, x.wall, x.user, x.sys,
                        x.status);
            if (photorec_) {
                Run y = Theirs(image, theirs);
                b.push_back(y.wall);
                ratio.push_back(x.wall / y.wall);
                peakTheirs = std::max(peakTheirs, y.peakKiB);
                std::printf(", photorec %.3f s (user %.3f, sys %.3f)", y.wall, y.user, y.sys);
            }
            std::printf("\n");
        }
        std::printf("  relikorda-recover median %.3f s, peak RSS %.0f MB, system time %.3f s per GiB\n", MedianOf(a),
                    peakOurs / 1024.0, MedianOf(sys) / gib);
        if (photorec_)
            std::printf("  photorec median %.3f s, peak RSS %.0f MB; median of pair ratios %.3f\n", MedianOf(b),
                        peakTheirs / 1024.0, MedianOf(ratio));
        PrintRecall("relikorda-recover", Score(files_, Scan(ours)));
        if (photorec_) PrintRecall("photorec", Score(files_, Scan(theirs)));
        std::printf("  (%s)\n", Load().c_str());
    }

    void DdLine() {
        std::string image = dir_ + "/image.img";
        Warm(image);
        double dd = Dd(image);
        std::printf("== dd bs=4M: %.3f s (%.2f GB/s) (%s)\n", dd, FileGiB(image) * 1.073741824 / dd, Load().c_str());
        dd_ = dd;
    }

    void Sizes() {
        std::string one = dir_ + "/image.img";
        std::printf("== sizes (%s)\n", Load().c_str());
        std::vector<double> t;
        long peak = 0;
        std::string small = dir_ + "/small.img";
        Ours(small, dir_ + "/out-small");
        for (int i = 0; i < 5; ++i) {
            Run x = Ours(small, dir_ + "/out-small");
            t.push_back(x.wall);
            peak = std::max(peak, x.peakKiB);
        }
        std::vector<Source> smallFiles = Sources(dir_, "small.txt");
        Recall r = Score(smallFiles, Scan(dir_ + "/out-small"));
        std::printf("  1 MiB: median %.3f s of 5, peak RSS %.0f MB, recall %d/%d\n", MedianOf(t), peak / 1024.0,
                    r.identical, r.kept);
        for (int times : {1, 2, 4}) {
            std::string image = times == 1 ? one : dir_ + "/image" + std::to_string(times) + ".img";
            if (!Exists(image)) {
                std::string parts;
                for (int i = 0; i < times; ++i) parts += " '" + one + "'";
                if (!Shell("cat" + parts + " > '" + image + ".part' && mv '" + image + ".part' '" + image + "'")) return;
            }
            Warm(image);
            Run x = Ours(image, dir_ + "/out-size");
            double gib = FileGiB(image);
            std::printf("  %dx (%.2f GiB): %.3f s (%.3f s per GiB), sys %.3f s per GiB, peak RSS %.0f MB, exit %d\n",
                        times, gib, x.wall, x.wall / gib, x.sys / gib, x.peakKiB / 1024.0, x.status);
        }
        std::printf("  (%s)\n", Load().c_str());
    }

    bool Prepare() {
        if (!Exists(dir_ + "/image.img")) {
            std::printf("making %s/image.img ...\n", dir_.c_str());
            std::fflush(stdout);
            if (!Shell(std::string("'") + RK_E2E_IMAGE_SCRIPT + "' '" + dir_ + "'")) return false;
        }
        files_ = Sources(dir_, "image.txt");
        photorec_ = Exists(kPhotoRec);
        if (!photorec_) std::printf("photorec: not installed (Debian package testdisk)\n");
        return !files_.empty();
    }

    double dd_ = 0;

private:
    std::string dir_, bin_;
    std::string phone_, sms_, contacts_, sqlite3_;
    std::vector<Source> files_;
    bool photorec_ = false;
};

// One busy process per core until Stop.
class CpuLoad {
public:
    void Start() {
        long cores = sysconf(_SC_NPROCESSORS_ONLN);
        for (long i = 0; i < cores; ++i) {
            pid_t pid = fork();
            if (pid == 0) {
                volatile uint64_t spin = 0;
                for (;;) spin = spin + 1;
            }
            if (pid > 0) pids_.push_back(pid);
        }
        sleep(1);
    }
    void Stop() {
        for (pid_t pid : pids_) kill(pid, SIGKILL);
        for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
        pids_.clear();
    }
    ~CpuLoad() { Stop(); }

private:
    std::vector<pid_t> pids_;
};

}  // namespace

int main(int argc, char** argv) {
    bool load = false, sizes = false, phone = false;
    std::string sqlite3 = RK_SQLITE3_PEER;
    int pairs = 5;
    std::string dir = RK_E2E_DEFAULT_DIR, bin = RK_BIN_DIR;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--load") load = true;
        else if (a == "--sizes") sizes = true;
        else if (a == "--pairs" && i + 1 < argc) pairs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--bin" && i + 1 < argc) bin = argv[++i];
        else if (a == "--phone") phone = true;
        else if (a == "--sqlite3" && i + 1 < argc) sqlite3 = argv[++i];
        else dir = a;
    }
    Shell("mkdir -p '" + dir + "'");
    // PhotoRec runs in its output folder: the image's path must not be relative.
    if (char* absolute = realpath(dir.c_str(), nullptr)) {
        dir = absolute;
        std::free(absolute);
    }
    Bench bench(dir, bin);
    if (!bench.Prepare()) {
        std::fprintf(stderr, "could not make the image\n");
        return 1;
    }
    if (phone) {
        if (!bench.PreparePhone(sqlite3)) {
            std::fprintf(stderr, "could not make the phone\n");
            return 1;
        }
        bench.PhonePairs(pairs);
        return 0;
    }
    bench.DdLine();
    bench.Pairs(pairs, "quiet");
    if (load) {
        CpuLoad busy;
        busy.Start();
        bench.Pairs(pairs, "beside a busy process on every core");
        busy.Stop();
    }
    if (sizes) bench.Sizes();
    return 0;
}
