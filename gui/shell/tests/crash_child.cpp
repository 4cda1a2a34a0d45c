// A program with Kelvrin's crash handler, for the crash handler's tests. Modes:
//   segv        installs the handler, prints the address of a page no one may touch and writes to it
//   dumps       installs the handler and asks for two dumps without a crash
//   log N       writes one log line of N characters (and "\n"); prints the bytes written
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gui/shell/CatchExeception.h"
#include "platform/Process.h"

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    CatchExeception& handler = CatchExeception::Instance();
    if (mode == "segv") {
        handler.Install();
        // A fault the kernel raises, which no sanitizer takes for undefined behaviour.
        void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        std::printf("%p\n", page);
        std::fflush(stdout);
        *static_cast<volatile int*>(page) = 1;
        return 0;
    }
    if (mode == "dumps") {
        handler.Install();
        const long thread = platform::CurrentThreadId(), process = platform::CurrentProcessId();
        const int first = handler.OnCrash2WriteDump(nullptr, thread, process);
        const int second = handler.OnCrash2WriteDump(nullptr, thread, process);
        std::printf("%d %d\n", first, second);
        return 0;
    }
    if (mode == "log" && argc > 2) {
        const std::string text(static_cast<size_t>(std::atoi(argv[2])), 'x');
        std::printf("%d\n", CatchExeception::WriteLog("%s\n", text.c_str()));
        return 0;
    }
    return 2;
}
