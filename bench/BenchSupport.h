#pragma once
// What the benchmark programs share.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

// The machine's load as `uptime` prints it (other work on the machine skews a timing).
inline std::string MachineLoad() {
    std::string text;
    if (FILE* pipe = popen("uptime", "r")) {
        char line[256];
        if (std::fgets(line, sizeof line, pipe)) text = line;
        pclose(pipe);
    }
    return text;
}

// One run of another program: wall time, the child's own processor times and peak RSS, its exit.
struct BenchRun {
    double wall = 0, user = 0, sys = 0;
    long peakKiB = 0;
    int status = -1;
};

// Runs argv (a path, or a program looked up on PATH) in folder cwd when given, its input and errors
// discarded and its output into outPath (discarded when empty).
inline BenchRun SpawnMeasured(const std::vector<std::string>& argv, const std::string& cwd = std::string(),
                              const std::string& outPath = std::string()) {
    BenchRun run;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_RDWR);
        int out = outPath.empty() ? null : open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(null, 0);
        dup2(out < 0 ? null : out, 1);
        dup2(null, 2);
        if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) return run;
    int status = 0;
    struct rusage use;
    std::memset(&use, 0, sizeof use);
    wait4(pid, &status, 0, &use);
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.user = use.ru_utime.tv_sec + use.ru_utime.tv_usec / 1e6;
    run.sys = use.ru_stime.tv_sec + use.ru_stime.tv_usec / 1e6;
    run.peakKiB = use.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

// The middle value; of an even count, the mean of the two in the middle.
inline double MedianOf(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}
