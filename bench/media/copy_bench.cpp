// Writing found files on the user's path: `relikorda-recover --device CARD` against `cp -a` from a
// kernel mount of the same card, read only (ext4 through a loop device, exFAT through exfat-fuse),
// over the 20,000-file bench cards. Alternating runs after a warm-up of each; every output is
// removed before the next run (not timed). Needs root (loop devices, FUSE).
//
// Usage: copy_bench [--pairs N] [--out DIR] [--bin DIR] [--strace] [ext4|exfat ...]
//   --out     where the copies go (default /tmp); a tmpfs leaves the disk out of the figures
//   --bin     the folder of another build's relikorda-recover (to compare builds)
//   --strace  also counts each tool's system calls once (strace -c -f), per file written
// For each card: the pairs' wall and processor times, the medians, the median of the pair ratios
// (relikorda-recover over cp -a) by wall and by processor time, and the load before and after;
// the same for relikorda-recover's writing alone (from the end of its scan, which it prints, to its
// exit; the processor time then taken from /proc), since cp -a reads only the files, where
// relikorda-recover reads the whole card first.
#include <fcntl.h>
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
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchSupport.h"

namespace {

struct Card {
    const char* name;
    const char* image;
    const char* script;
};
const Card kCards[] = {{"ext4", RK_EXT_BENCH_IMAGE, RK_EXT_BENCH_SCRIPT},
                       {"exfat", RK_EXFAT_BENCH_IMAGE, RK_EXFAT_BENCH_SCRIPT}};

// A run of relikorda-recover, and the part of it that writes the found files: from the line that
// ends the scan to the exit.
struct RecoverRun {
    BenchRun whole;
    double writeWall = 0, writeCpu = 0;
};

// Processor seconds the process has used so far (user + system), from /proc.
double ProcessSeconds(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::atof(field.c_str());
        if (i == 15) stime = std::atof(field.c_str());
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

RecoverRun RunRecover(const std::vector<std::string>& argv) {
    RecoverRun run;
    int out[2];
    if (pipe(out) != 0) return run;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        dup2(null, 0), dup2(out[1], 1), dup2(null, 2);
        close(out[0]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    if (pid < 0) return run;
    FILE* lines = fdopen(out[0], "r");
    char line[1024];
    double writeFrom = -1, cpuFrom = 0;
    while (lines && std::fgets(line, sizeof line, lines)) {
        if (writeFrom < 0 && std::strstr(line, "media scan") && std::strstr(line, ": done")) {
            cpuFrom = ProcessSeconds(pid);
            writeFrom = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
    }
    if (lines) fclose(lines);
    int status = 0;
    struct rusage use;
    std::memset(&use, 0, sizeof use);
    wait4(pid, &status, 0, &use);
    run.whole.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.whole.user = use.ru_utime.tv_sec + use.ru_utime.tv_usec / 1e6;
    run.whole.sys = use.ru_stime.tv_sec + use.ru_stime.tv_usec / 1e6;
    run.whole.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (writeFrom >= 0) {
        run.writeWall = run.whole.wall - writeFrom;
        run.writeCpu = run.whole.user + run.whole.sys - cpuFrom;
    }
    return run;
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

int Shell(const std::string& command) { return std::system(command.c_str()); }

std::string Output(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, pipe)) text += line;
        pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text;
}

// A read-only kernel mount of a card, undone when it goes.
class Mount {
public:
    Mount(const Card& card, const std::string& at) : at_(at) {
        Shell("mkdir -p '" + at + "'");
        if (std::strcmp(card.name, "ext4") == 0) {
            ok_ = Shell("mount -o loop,ro,noload '" + std::string(card.image) + "' '" + at + "'") == 0;
        } else {
            loop_ = Output("losetup -r -f --show '" + std::string(card.image) + "'");
            ok_ = !loop_.empty() && Shell("mount.exfat-fuse -o ro '" + loop_ + "' '" + at + "' > /dev/null 2>&1") == 0;
        }
    }
    ~Mount() {
        Shell("umount '" + at_ + "' 2> /dev/null");
        if (!loop_.empty()) Shell("losetup -d '" + loop_ + "'");
    }
    bool ok() const { return ok_; }

private:
    std::string at_, loop_;
    bool ok_ = false;
};

size_t FilesBelow(const std::string& folder) {
    return std::strtoul(Output("find '" + folder + "' -type f ! -name '*.log' | wc -l").c_str(), nullptr, 10);
}

// System calls of one run of command, per file it wrote into out.
void CountCalls(const std::string& what, const std::string& command, const std::string& out) {
    const std::string counts = out + ".strace";
    Shell("strace -c -f -o '" + counts + "' " + command + " > /dev/null 2>&1");
    const double files = static_cast<double>(FilesBelow(out));
    std::ifstream in(counts);
    std::string line;
    std::map<std::string, long> calls;
    long total = 0;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        double percent, seconds;
        long usecs, count;
        if (!(fields >> percent >> seconds >> usecs >> count)) continue;
        std::string rest, name;
        while (fields >> rest) name = rest;  // the errors column may be empty
        if (name == "total") continue;
        calls[name] = count;
        total += count;
    }
    std::printf("  %s: %.0f files, %.1f system calls a file:", what.c_str(), files, files ? total / files : 0.0);
    for (const auto& c : calls)
        if (files && c.second / files >= 0.05) std::printf(" %s %.2f", c.first.c_str(), c.second / files);
    std::printf("\n");
    Shell("rm -rf '" + out + "' '" + counts + "'");
}

}  // namespace

int main(int argc, char** argv) {
    int pairs = 5;
    bool strace = false;
    std::string out = "/tmp", bin = RK_BIN_DIR;
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--pairs" && i + 1 < argc) pairs = std::atoi(argv[++i]);
        else if (a == "--out" && i + 1 < argc) out = argv[++i];
        else if (a == "--bin" && i + 1 < argc) bin = argv[++i];
        else if (a == "--strace") strace = true;
        else wanted.push_back(a);
    }
    if (geteuid() != 0) {
        std::fprintf(stderr, "copy_bench mounts the cards: run it as root\n");
        return 1;
    }
    const std::string work = out + "/copy_bench." + std::to_string(getpid());
    Shell("mkdir -p '" + work + "'");
    for (const Card& card : kCards) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), card.name) == wanted.end()) continue;
        if (!Exists(card.image)) {
            std::printf("making %s (a minute or two) ...\n", card.image);
            Shell("mkdir -p \"$(dirname '" + std::string(card.image) + "')\"");
            if (Shell(std::string(card.script) + " '" + card.image + "'") != 0) {
                std::fprintf(stderr, "could not make %s\n", card.image);
                return 1;
            }
        }
        Mount mount(card, work + "/mnt");
        if (!mount.ok()) {
            std::fprintf(stderr, "could not mount %s read only\n", card.image);
            return 1;
        }
        const auto recover = [&](const std::string& to) {
            return RunRecover({bin + "/relikorda-recover", "--device", card.image, "--out", to});
        };
        const auto copy = [&](const std::string& to) { return SpawnMeasured({"cp", "-a", work + "/mnt", to}); };
        std::printf("%s card %s, copies into %s\n", card.name, card.image, work.c_str());
        // Warm-up: both read the card into the page cache once.
        recover(work + "/rr"), copy(work + "/cp");
        const size_t written = FilesBelow(work + "/rr"), copied = FilesBelow(work + "/cp");
        Shell("rm -rf '" + work + "/rr' '" + work + "/cp'");
        std::printf("  files: relikorda-recover %zu, cp -a %zu\n", written, copied);
        std::printf("  load before: %s", MachineLoad().c_str());
        std::vector<double> rrWall, cpWall, rrCpu, cpCpu, wallRatio, cpuRatio, writeWallRatio, writeCpuRatio;
        for (int i = 0; i < pairs; ++i) {
            const RecoverRun rr = recover(work + "/rr");
            const BenchRun& r = rr.whole;
            Shell("rm -rf '" + work + "/rr'");
            const BenchRun c = copy(work + "/cp");
            Shell("rm -rf '" + work + "/cp'");
            if (r.status > 12 || c.status != 0) {
                std::fprintf(stderr, "a run failed (relikorda-recover %d, cp %d)\n", r.status, c.status);
                return 1;
            }
            rrWall.push_back(r.wall), cpWall.push_back(c.wall);
            rrCpu.push_back(r.user + r.sys), cpCpu.push_back(c.user + c.sys);
            wallRatio.push_back(r.wall / c.wall), cpuRatio.push_back(rrCpu.back() / cpCpu.back());
            writeWallRatio.push_back(rr.writeWall / c.wall), writeCpuRatio.push_back(rr.writeCpu / cpCpu.back());
            std::printf("  pair %d: relikorda-recover %.3f s (user %.3f, sys %.3f; writing %.3f s, processor %.3f), "
                        "cp -a %.3f s (user %.3f, sys %.3f)\n",
                        i + 1, r.wall, r.user, r.sys, rr.writeWall, rr.writeCpu, c.wall, c.user, c.sys);
        }
        std::printf("  load after:  %s", MachineLoad().c_str());
        std::printf("  medians: relikorda-recover %.3f s wall, %.3f s processor; cp -a %.3f s wall, %.3f s processor\n",
                    MedianOf(rrWall), MedianOf(rrCpu), MedianOf(cpWall), MedianOf(cpCpu));
        std::printf("  median of the pair ratios (relikorda-recover / cp -a): wall %.2f, processor %.2f (target at "
                    "most 1.2)\n",
                    MedianOf(wallRatio), MedianOf(cpuRatio));
        std::printf("  the same for relikorda-recover's writing alone: wall %.2f, processor %.2f\n",
                    MedianOf(writeWallRatio), MedianOf(writeCpuRatio));
        if (strace) {
            CountCalls("relikorda-recover",
                       bin + "/relikorda-recover --device '" + card.image + "' --out '" + work + "/rr'", work + "/rr");
            CountCalls("cp -a", "cp -a '" + work + "/mnt' '" + work + "/cp'", work + "/cp");
        }
    }
    Shell("rm -rf '" + work + "'");
    return 0;
}
