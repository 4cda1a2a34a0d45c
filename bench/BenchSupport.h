#pragma once
// What the benchmark programs share.
#include <cstdio>
#include <string>

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
