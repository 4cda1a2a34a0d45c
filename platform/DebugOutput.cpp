#include "platform/DebugOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/StringConversion.h"

namespace platform {

void OutputDebugStringA(const char* text) {
    const char* path = std::getenv("RELIKORDA_LOG");
    if (!text || !path || !*path) return;
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = ::write(fd, text, left);
        if (written <= 0) break;
        text += written;
        left -= static_cast<size_t>(written);
    }
    ::close(fd);
}

void OutputDebugStringW(const wchar_t* text) {
    if (text) OutputDebugStringA(WideToUtf8(text).c_str());
}

}  // namespace platform
