// The whole-device pass on the user's path: `relikorda-recover --device IMAGE` against PhotoRec
// over the same 1 GiB image from the page cache, in alternating runs.
//
// Usage: e2e_bench [--load] [--sizes] [--pairs N] [--bin DIR] [work folder]
//   default   five pairs after a warm-up; medians, the median of the pair ratios, dd's time, both
//             tools' recall (byte-identical by SHA-256), peak RSS and system time per GiB
//   --load    the same pairs again beside a CPU-bound process on every core
//   --sizes   a 1 MiB image's time and peak RSS, and relikorda-recover on 1, 4 and 8 GiB images
//   --bin     the folder of another build's relikorda-recover (to compare builds)
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
// PhotoRec's families for the files the image holds (riff: wav and avi; mov: mp4, mov and 3gp;
// asf: wma and wmv; doc: the OLE documents; zip: the OOXML documents and the archive).
const char* const kPhotoRecFamilies =
    "jpg,enable,png,enable,gif,enable,bmp,enable,tif,enable,psd,enable,riff,enable,mov,enable,asf,enable,"
    "mp3,enable,au,enable,doc,enable,zip,enable,pdf,enable";

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

std::string Sha256(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    char line[4096] = {};
    std::string hash;
    if (pipe && std::fgets(line, sizeof line, pipe) && std::strlen(line) > 64) hash.assign(line, 64);
    if (pipe) pclose(pipe);
    return hash;
}

struct Recovered {
    std::set<std::string> hashes;
    std::vector<std::pair<std::string, uint64_t>> files;  // path, size
};

// Every file under folder, with its SHA-256.
Recovered Scan(const std::string& folder) {
    Recovered r;
    std::string command = "find '" + folder + "' -type f -printf '%s %p\\n' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return r;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        char* space = std::strchr(line, ' ');
        if (!space) continue;
        std::string path(space + 1);
        if (!path.empty() && path.back() == '\n') path.pop_back();
        r.files.emplace_back(path, std::strtoull(line, nullptr, 10));
        r.hashes.insert(Sha256("sha256sum '" + path + "'"));
    }
    pclose(pipe);
    return r;
}

struct Source {
    std::string name;
    std::string hash;
    uint64_t size = 0;
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
        s.hash = Sha256("sha256sum '" + dir + "/src/" + name + "'");
        struct stat st;
        if (stat((dir + "/src/" + name).c_str(), &st) == 0) s.size = static_cast<uint64_t>(st.st_size);
        files.push_back(s);
    }
    return files;
}

struct Recall {
    int kept = 0, identical = 0, complete = 0, all = 0, allIdentical = 0;
    std::string missed;
};

// Identical: a recovered file has the source's SHA-256; complete: one starts with the whole source.
Recall Score(const std::vector<Source>& files, const Recovered& got) {
    Recall r;
    for (const Source& s : files) {
        bool identical = got.hashes.count(s.hash) != 0;
        bool complete = identical;
        for (size_t i = 0; !complete && i < got.files.size(); ++i)
            complete = got.files[i].second > s.size &&
                       Sha256("head -c " + std::to_string(s.size) + " '" + got.files[i].first + "' | sha256sum") == s.hash;
        ++r.all;
        r.allIdentical += identical;
        if (!s.kept) continue;
        ++r.kept;
        r.identical += identical;
        r.complete += complete;
        if (!identical) r.missed += " " + s.name + (complete ? " (complete, longer)" : "");
    }
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
        std::printf("== %s (%s)\n", title, Load().c_str());
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
        for (int times : {1, 4, 8}) {
            std::string image = times == 1 ? one : dir_ + "/image" + std::to_string(times) + ".img";
            if (!Exists(image)) {
                std::string parts;
                for (int i = 0; i < times; ++i) parts += " '" + one + "'";
                if (!Shell("cat" + parts + " > '" + image + ".part' && mv '" + image + ".part' '" + image + "'")) return;
            }
            Warm(image);
            Run x = Ours(image, dir_ + "/out-size");
            std::printf("  %d GiB: %.3f s (%.3f s per GiB), sys %.3f s per GiB, peak RSS %.0f MB, exit %d\n", times,
                        x.wall, x.wall / times, x.sys / times, x.peakKiB / 1024.0, x.status);
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
    bool load = false, sizes = false;
    int pairs = 5;
    std::string dir = RK_E2E_DEFAULT_DIR, bin = RK_BIN_DIR;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--load") load = true;
        else if (a == "--sizes") sizes = true;
        else if (a == "--pairs" && i + 1 < argc) pairs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--bin" && i + 1 < argc) bin = argv[++i];
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
    bench.DdLine();
    bench.Pairs(pairs, "1 GiB image, quiet");
    if (load) {
        CpuLoad busy;
        busy.Start();
        bench.Pairs(pairs, "1 GiB image, beside a busy process on every core");
        busy.Stop();
    }
    if (sizes) bench.Sizes();
    return 0;
}
