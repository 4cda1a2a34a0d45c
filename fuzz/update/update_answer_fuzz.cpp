// Arbitrary bytes as the update server's answer: the parser keeps within them, its fields hold no
// line break, and every version number reads without overflow (UBSan would say).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "gui/pages/UpdateAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* text = reinterpret_cast<const char*>(data);
    UpdateInfo info;
    ParseUpdateAnswer(text, size, &info);
    for (const std::string* field : {&info.url, &info.version}) {
        if (field->find_first_of("\r\n") != std::string::npos || field->size() > size) std::abort();
    }
    const std::string whole(text, size);
    const int64_t numbers[] = {ParseVersion(whole.c_str()), ParseVersion(info.version.c_str()),
                               ParseVersion(info.url.c_str())};
    // Four parts, each within an int, weighted at most 1010101 times.
    for (int64_t number : numbers) {
        if (number > int64_t{2147483647} * 1010101 || number < int64_t{-2147483648LL} * 1010101) std::abort();
    }
    return 0;
}
