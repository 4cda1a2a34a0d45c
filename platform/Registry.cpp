#include "platform/Registry.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/StringConversion.h"

struct platform::RegistryKey {
    std::string path;  // "ROOT\sub\key", folded to lower case
    std::map<std::string, std::string> values;  // by folded name
    bool isRoot = false;
};

namespace platform {

namespace {

RegistryKey g_localMachine{"hkey_local_machine", {}, true};
RegistryKey g_currentUser{"hkey_current_user", {}, true};

std::string Fold(const std::string& text) {
    std::string folded = text;
    for (char& c : folded) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return folded;
}

std::string Trim(const std::string& text) {
    const size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

// Backslashes single, none at either end.
std::string NormalisePath(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    return out;
}

// The values of the section whose folded name is path; false when the file or section is missing.
bool LoadKey(const std::string& path, std::map<std::string, std::string>* values) {
    const char* file = std::getenv("RELIKORDA_REGISTRY");
    if (!file || !*file) return false;
    std::ifstream in(file);
    if (!in) return false;
    bool found = false, inside = false;
    for (std::string line; std::getline(in, line);) {
        const std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text.front() == '[' && text.back() == ']') {
            inside = Fold(NormalisePath(Trim(text.substr(1, text.size() - 2)))) == path;
            found = found || inside;
            continue;
        }
        const size_t eq = text.find('=');
        if (!inside || eq == std::string::npos) continue;
        (*values)[Fold(Trim(text.substr(0, eq)))] = Trim(text.substr(eq + 1));
    }
    return found;
}

// The value's bytes as the system hands them out.
std::vector<uint8_t> Encode(const std::string& value, uint32_t* type) {
    std::vector<uint8_t> bytes;
    const std::string dword = "dword:";
    if (Fold(value.substr(0, dword.size())) == dword) {
        const uint32_t number = static_cast<uint32_t>(std::strtoul(value.c_str() + dword.size(), nullptr, 16));
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(number >> (8 * i)));
        *type = kRegTypeDword;
        return bytes;
    }
    for (char16_t unit : Utf8ToUtf16(value)) {
        bytes.push_back(static_cast<uint8_t>(unit));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    *type = kRegTypeText;
    return bytes;
}

}  // namespace

const RegKey kHkeyLocalMachine = &g_localMachine;
const RegKey kHkeyCurrentUser = &g_currentUser;

long RegOpenKeyW(RegKey root, const wchar_t* subKey, RegKey* key) {
    if (!root || !key) return kRegInvalidParameter;
    const std::string sub = NormalisePath(subKey ? WideToUtf8(subKey) : std::string());
    const std::string path = sub.empty() ? root->path : root->path + "\\" + Fold(sub);
    auto opened = new RegistryKey{path, {}, false};
    if (!LoadKey(path, &opened->values)) {
        delete opened;
        return kRegFileNotFound;
    }
    *key = opened;
    return kRegSuccess;
}

long RegQueryValueExW(RegKey key, const wchar_t* name, uint32_t* reserved, uint32_t* type, uint8_t* data,
                      uint32_t* size) {
    (void)reserved;
    if (!key || (data && !size)) return kRegInvalidParameter;
    auto found = key->values.find(Fold(name ? WideToUtf8(name) : std::string()));
    if (found == key->values.end()) return kRegFileNotFound;
    uint32_t valueType = 0;
    const std::vector<uint8_t> bytes = Encode(found->second, &valueType);
    if (type) *type = valueType;
    const uint32_t room = size ? *size : 0;
    if (size) *size = static_cast<uint32_t>(bytes.size());
    if (!data) return kRegSuccess;
    if (bytes.size() > room) return kRegMoreData;
    std::memcpy(data, bytes.data(), bytes.size());
    return kRegSuccess;
}

long RegCloseKey(RegKey key) {
    if (!key) return kRegInvalidParameter;
    if (!key->isRoot) delete key;
    return kRegSuccess;
}

}  // namespace platform
