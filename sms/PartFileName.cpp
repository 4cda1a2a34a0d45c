#include "sms/PartFileName.h"

#include <cstdio>

namespace {

constexpr size_t kMaxStemBytes = 120;
constexpr size_t kMaxExtensionChars = 8;

bool IsAlnum(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

std::string LastComponent(const std::string& text) {
    size_t slash = text.find_last_of("/\\");
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

// Cuts to at most max bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// The extension of a name's last component: "." and letters or digits, or empty.
std::string CleanExtension(const std::string& component, size_t maxChars) {
    size_t dot = component.rfind('.');
    if (dot == std::string::npos) return std::string();
    std::string ext;
    for (size_t i = dot + 1; i < component.size(); ++i)
        if (IsAlnum(component[i])) ext += component[i];
    if (ext.empty() || ext.size() > maxChars) return std::string();
    return "." + ext;
}

}  // namespace

std::string SanitizePartFileName(const std::string& name) {
    std::string component;
    for (char c : LastComponent(name)) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ':') continue;
        component += c;
    }
    size_t dot = component.rfind('.');
    std::string stem = dot == std::string::npos ? component : component.substr(0, dot);
    std::string ext = dot == std::string::npos ? std::string() : CleanExtension(component, kMaxExtensionChars);
    // Leading dots would hide the file or name a folder.
    size_t first = stem.find_first_not_of('.');
    stem = first == std::string::npos ? std::string() : stem.substr(first);
    stem = CutUtf8(stem, kMaxStemBytes);
    if (stem.empty()) return std::string();
    return stem + ext;
}

std::string MakePartFileName(const std::string& contentLocation, uint32_t* counter) {
    if (contentLocation.find('/') == std::string::npos) {
        std::string name = SanitizePartFileName(contentLocation);
        if (!name.empty()) return name;
    }
    // Dot included, at most five characters, as phones write them.
    std::string ext = CleanExtension(LastComponent(contentLocation), 4);
    uint32_t number = counter ? ++*counter : 1;
    char text[32];
    std::snprintf(text, sizeof text, "%08x", number);
    return text + ext;
}
