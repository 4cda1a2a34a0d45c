#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace platform {

namespace {
bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
bool EndsWithNoCase(const std::string& text, const std::string& tail) {
    if (text.size() < tail.size()) return false;
    for (size_t i = 0; i < tail.size(); ++i) {
        char a = text[text.size() - tail.size() + i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != tail[i]) return false;
    }
    return true;
}
}  // namespace

std::string MapLibraryName(const std::wstring& name) {
    std::string base = WideToUtf8(name);
    // Only the file name part is mapped; a folder in front stays as given.
    std::string folder;
    size_t slash = base.find_last_of("/\\");
    if (slash != std::string::npos) {
        folder = base.substr(0, slash + 1);
        for (char& c : folder)
            if (c == '\\') c = '/';
        base = base.substr(slash + 1);
    }
    if (EndsWith(base, ".so") || base.find(".so.") != std::string::npos) return folder + base;
    if (EndsWithNoCase(base, ".dll")) base.resize(base.size() - 4);
    return folder + "lib" + base + ".so";
}

LibraryHandle LoadLibraryW(const wchar_t* name) {
    if (!name || !*name) return nullptr;
    std::string file = MapLibraryName(name);
    if (file.find('/') == std::string::npos) {
        std::string beside = JoinPath(ParentFolder(GetExecutablePath()), file);
        if (GetEntryKind(beside) != EntryKind::Missing) {
            if (void* handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return handle;
        }
    }
    return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* GetProcAddress(LibraryHandle library, const char* symbol) {
    if (!library || !symbol) return nullptr;
    return dlsym(library, symbol);
}

void FreeLibrary(LibraryHandle library) {
    if (library) dlclose(library);
}

}  // namespace platform
