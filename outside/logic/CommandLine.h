#pragma once
#include <string>

// Exit codes of relikorda-recover. When jobs fail the code is EXIT_JOBS_FAILED plus the value of
// each job that failed (9 contacts, 10 SMS/MMS, 12 media, 11 contacts and SMS/MMS, ... 15 all
// three).
enum : int {
    EXIT_RUN_OK = 0,
    EXIT_BAD_ARGUMENTS = 2,
    EXIT_NO_DEVICE = 3,
    EXIT_NO_OUTPUT = 4,
    EXIT_JOBS_FAILED = 8,
    EXIT_CONTACTS_FAILED = 1,
    EXIT_SMS_FAILED = 2,
    EXIT_MEDIA_FAILED = 4,
};

struct CommandLine {
    std::string device;
    std::string out;
    bool help = false;
};

// Parses "--device DIR|IMAGE --out DIR" (also "--device=..." and "--out=..."). False with a
// message in error when an option is unknown, repeated or without its value, or one is missing.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error);

// The absolute form of a path that need not exist yet: the real path of its longest existing
// ancestor, the rest appended with "." and ".." resolved. Empty when that fails.
std::string AbsolutePath(const std::string& path);

// True when path is folder itself or lies inside it (both absolute, as AbsolutePath gives them),
// whatever name leads there: the folder of path that exists (what a write below path reaches) is
// taken where it lies within its file system, by the system's mount table, so that a link, a bind
// mount of folder or of a folder inside it, or a second mount of its file system is seen through.
bool IsSameOrInside(const std::string& path, const std::string& folder);
