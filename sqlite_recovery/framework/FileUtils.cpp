#include "sqlite_recovery/framework/FileUtils.h"

#include <cerrno>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

std::wstring GetProgramFolder() {
    std::string exe = platform::GetExecutablePath();
    size_t slash = exe.find_last_of('/');
    if (exe.empty() || slash == std::string::npos) return std::wstring();
    return platform::Utf8ToWide(exe.substr(0, slash));
}

bool PathExists(const std::wstring& path) {
    if (path.empty()) return false;
    int error = 0;
    if (platform::EntryExists(platform::WideToUtf8(path), &error)) return true;
    return error != ENOENT && error != ENOTDIR;
}

namespace {
bool DeleteTree(const std::string& folder) {
    // A link is removed itself; what it points to is never touched.
    if (platform::GetEntryKind(folder) == platform::EntryKind::Link) return platform::DeleteFile(folder);
    std::vector<std::string> names;
    int error = 0;
    if (!platform::ListDirectory(folder, names, &error)) return error == ENOENT;
    for (const std::string& name : names) {
        std::string path = platform::JoinPath(folder, name);
        bool ok = platform::GetEntryKind(path) == platform::EntryKind::Directory ? DeleteTree(path)
                                                                                  : platform::DeleteFile(path);
        if (!ok) return false;
    }
    return platform::RemoveDirectory(folder);
}
}  // namespace

bool DeleteFolderTree(const std::wstring& folder) {
    if (folder.empty()) return false;
    return DeleteTree(platform::WideToUtf8(folder));
}
