#include "sqlite_recovery/controller/WorkingFolder.h"

#include <cstdlib>

#include "sqlite_recovery/framework/FileUtils.h"
#include "sqlite_recovery/framework/Logger.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/StringConversion.h"

namespace {

const char kPrefix[] = "relikorda-";

// The process id in a working folder's name "relikorda-<name>.<pid>.<random>", or 0 when the name
// is not of that form.
long OwnerOf(const std::string& entry) {
    if (entry.compare(0, sizeof kPrefix - 1, kPrefix) != 0) return 0;
    const size_t last = entry.rfind('.');
    if (last == std::string::npos || last == 0) return 0;
    const size_t before = entry.rfind('.', last - 1);
    if (before == std::string::npos || before + 1 >= last) return 0;
    const std::string digits = entry.substr(before + 1, last - before - 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) return 0;
    return std::atol(digits.c_str());
}

}  // namespace

std::vector<std::wstring> WorkingFolderRoots() { return {platform::Utf8ToWide(platform::TemporaryFolder())}; }

int RemoveAbandonedWorkingFolders(const std::wstring& root) {
    const std::string rootPath = platform::WideToUtf8(root);
    std::vector<std::string> names;
    if (!platform::ListDirectory(rootPath, names)) return 0;
    int removed = 0;
    for (const std::string& entry : names) {
        const long pid = OwnerOf(entry);
        if (pid <= 0 || platform::ProcessExists(pid)) continue;
        const std::string path = platform::JoinPath(rootPath, entry);
        // Only a real folder of this user: never a link, never someone else's.
        if (!platform::IsOwnDirectory(path)) continue;
        if (DeleteFolderTree(platform::Utf8ToWide(path))) {
            RK_LOG("Removed the working folder %s that an earlier run left.", path.c_str());
            ++removed;
        }
    }
    return removed;
}

std::wstring CreateWorkingFolder(const std::wstring& root, const std::wstring& name) {
    if (root.empty() || name.empty()) return std::wstring();
    const std::string rootPath = platform::WideToUtf8(root);
    if (!platform::CreateDirectories(rootPath)) return std::wstring();
    RemoveAbandonedWorkingFolders(root);
    const std::string prefix =
        kPrefix + platform::WideToUtf8(name) + "." + std::to_string(platform::CurrentProcessId()) + ".";
    return platform::Utf8ToWide(platform::CreateUniquePrivateDirectory(rootPath, prefix));
}
