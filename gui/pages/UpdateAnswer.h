#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// The update server's answer: a few "key=value" lines.

// One check's download: the answer's link and version, and the file it is read from.
struct UpdateInfo {
    std::string url;
    FILE* file = nullptr;
    std::string version;
};

// "a.b.c.d" as a * 1000000 + b * 10000 + c * 100 + d; each part read as a number after the previous
// '.', missing parts 0, parts beyond an int held at its ends.
int64_t ParseVersion(const char* text);
// The answer's "key=value" lines: "Product Version" gives the version and "URL" the link (keys as
// they stand, the later line winning); lines end at '\r' or '\n'. The text ends at its first zero
// byte or after length bytes.
void ParseUpdateAnswer(const char* text, size_t length, UpdateInfo* info);
