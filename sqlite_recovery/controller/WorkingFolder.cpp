#include "sqlite_recovery/controller/WorkingFolder.h"

#include <cstdlib>

#include "sqlite_recovery/framework/FileUtils.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

std::vector<std::wstring> WorkingFolderRoots() {
    std::vector<std::wstring> roots;
    std::wstring program = GetProgramFolder();
    if (!program.empty()) roots.push_back(program);
    std::string cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/') {
        cache = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        cache = platform::JoinPath(home, ".cache");
    }
    if (!cache.empty()) roots.push_back(platform::Utf8ToWide(platform::JoinPath(cache, "relikorda")));
    return roots;
}

std::wstring UniqueWorkingFolderName(const std::wstring& name) {
    static CRITICAL_SECTION lock;
    static unsigned counter = 0;
    unsigned n;
    {
        autolocker<critical_locker> guard(&lock);
        n = ++counter;
    }
    return name + L"." + std::to_wstring(platform::GetCurrentProcessId()) + L"." + std::to_wstring(n);
}

std::wstring CreateWorkingFolder(const std::wstring& root, const std::wstring& name) {
    if (root.empty() || name.empty()) return std::wstring();
    std::string rootPath = platform::WideToUtf8(root);
    if (!platform::CreateDirectories(rootPath)) return std::wstring();
    std::wstring folder = platform::Utf8ToWide(platform::JoinPath(rootPath, platform::WideToUtf8(name)));
    // A folder left behind under this name by an earlier process is not ours to keep.
    if (!DeleteFolderTree(folder)) return std::wstring();
    // Private to the user, and made by us: a folder that appeared meanwhile is not used.
    if (!platform::CreatePrivateDirectory(platform::WideToUtf8(folder))) return std::wstring();
    return folder;
}
