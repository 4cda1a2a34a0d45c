#include "outside/logic/CommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace {
// Splits at '/' into the pieces that are neither empty nor ".".
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (!part.empty() && part != ".") parts.push_back(part);
        start = end + 1;
    }
    return parts;
}
}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, CommandLine& line, std::string& error) {
    line = CommandLine();
    bool haveDevice = false, haveOut = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            line.help = true;
            return true;
        }
        std::string name = arg, value;
        bool inlineValue = false;
        size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            inlineValue = true;
        }
        std::string* target = nullptr;
        bool* seen = nullptr;
        if (name == "--device") {
            target = &line.device;
            seen = &haveDevice;
        } else if (name == "--out") {
            target = &line.out;
            seen = &haveOut;
        } else {
            error = "unknown argument " + arg;
            return false;
        }
        if (*seen) {
            error = name + " is given twice";
            return false;
        }
        if (!inlineValue) {
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (value.empty()) {
            error = name + " needs a value";
            return false;
        }
        *target = value;
        *seen = true;
    }
    if (!haveDevice) {
        error = "--device is missing";
        return false;
    }
    if (!haveOut) {
        error = "--out is missing";
        return false;
    }
    return true;
}

std::string AbsolutePath(const std::string& path) {
    if (path.empty()) return std::string();
    std::string full = path;
    if (full[0] != '/') {
        std::string cwd = platform::GetCurrentFolder();
        if (cwd.empty()) return std::string();
        full = cwd + "/" + path;
    }
    std::vector<std::string> parts = Components(full);
    // The longest prefix that exists is resolved by the system (links included); the rest is
    // taken as written.
    for (size_t keep = parts.size() + 1; keep-- > 0;) {
        std::string prefix = "/";
        for (size_t i = 0; i < keep; ++i) prefix = platform::JoinPath(prefix, parts[i]);
        std::string real = platform::RealPath(prefix);
        if (real.empty()) continue;
        std::vector<std::string> resolved = Components(real);
        for (size_t i = keep; i < parts.size(); ++i) {
            if (parts[i] == "..") {
                if (!resolved.empty()) resolved.pop_back();
            } else {
                resolved.push_back(parts[i]);
            }
        }
        std::string result;
        for (const std::string& part : resolved) result += "/" + part;
        return result.empty() ? "/" : result;
    }
    return std::string();
}

bool IsSameOrInside(const std::string& path, const std::string& folder) {
    if (path.empty() || folder.empty()) return false;
    if (folder == "/") return true;
    if (path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/'))
        return true;
    // The same folder may have other names (a link, a bind mount of it or of a folder inside it, a
    // second mount of its file system): the folders along path that exist, by identity, are looked
    // for among the folders of the tree. A folder has one identity whatever its names.
    using Identity = std::pair<uint64_t, uint64_t>;
    std::set<Identity> along;
    for (std::string at = path; !at.empty(); at = platform::ParentFolder(at)) {
        Identity identity;
        if (platform::GetFileIdentity(at, &identity.first, &identity.second)) along.insert(identity);
        if (at == "/") break;
    }
    if (along.empty()) return false;
    // A folder mounted twice inside the tree is walked once.
    std::set<Identity> walked;
    std::vector<std::string> pending{folder}, names;
    while (!pending.empty()) {
        const std::string at = std::move(pending.back());
        pending.pop_back();
        Identity identity;
        if (!platform::GetFileIdentity(at, &identity.first, &identity.second)) continue;
        if (along.count(identity)) return true;
        if (!walked.insert(identity).second) continue;
        platform::ListSubfolders(at, names);  // what could be read of a folder that cannot be read whole
        for (const std::string& name : names) pending.push_back(platform::JoinPath(at, name));
    }
    return false;
}
