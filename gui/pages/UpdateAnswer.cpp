#include "gui/pages/UpdateAnswer.h"

#include <climits>
#include <cstring>

namespace {

// atoi of one part, held within an int.
int64_t ReadPart(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') ++text;
    int64_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + (*text - '0');
        if (value > static_cast<int64_t>(INT_MAX) + 1) value = static_cast<int64_t>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    return value > INT_MAX ? INT_MAX : value;
}

}  // namespace

int64_t ParseVersion(const char* text) {
    static const int64_t weights[4] = {1000000, 10000, 100, 1};
    if (!text) return 0;
    int64_t number = 0;
    const char* part = text;
    for (int i = 0; i < 4 && part; ++i) {
        number += ReadPart(part) * weights[i];
        part = std::strchr(part, '.');
        if (part) ++part;
    }
    return number;
}

void ParseUpdateAnswer(const char* text, size_t length, UpdateInfo* info) {
    if (!info) return;
    info->url.clear();
    info->version.clear();
    if (!text) return;
    length = strnlen(text, length);
    size_t start = 0;
    while (start < length) {
        size_t end = start;
        while (end < length && text[end] != '\r' && text[end] != '\n') ++end;
        const std::string line(text + start, end - start);
        start = end + 1;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        if (key == "Product Version") info->version = line.substr(eq + 1);
        if (key == "URL") info->url = line.substr(eq + 1);
    }
}
