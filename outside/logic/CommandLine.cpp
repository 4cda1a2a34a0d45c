#include "outside/logic/CommandLine.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
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

namespace {
// By name alone: path is folder or below it.
bool NamedInside(const std::string& path, const std::string& folder) {
    if (folder == "/") return !path.empty();
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}

// Where a real path lies within its file system, whatever mount shows it: the file system's device
// and the path inside it.
struct Place {
    std::string device, path;
};

// The mount that holds real (by the system's word; without it, the last mounted of those with the
// longest mount point on real's way), and real's path inside its file system.
bool PlaceOf(const std::vector<platform::MountEntry>& mounts, const std::string& real, Place* place) {
    const platform::MountEntry* holder = nullptr;
    uint64_t id = 0;
    const bool known = platform::GetMountId(real, &id);
    for (const platform::MountEntry& mount : mounts) {
        if (!NamedInside(real, mount.mountPoint) || (known && mount.id != id)) continue;
        if (!holder || mount.mountPoint.size() >= holder->mountPoint.size()) holder = &mount;
    }
    if (!holder) return false;
    std::string rest = holder->mountPoint == "/" ? real : real.substr(holder->mountPoint.size());
    if (rest == "/") rest.clear();
    place->device = holder->device;
    place->path = holder->root == "/" ? (rest.empty() ? "/" : rest) : holder->root + rest;
    return true;
}
}  // namespace

bool IsSameOrInside(const std::string& path, const std::string& folder) {
    if (path.empty() || folder.empty()) return false;
    if (NamedInside(path, folder)) return true;
    // What a write below path reaches is the folder of path that exists, wherever its names lead.
    std::string existing = path;
    while (!existing.empty() && existing != "/" && !platform::EntryExists(existing))
        existing = platform::ParentFolder(existing);
    const std::string real = platform::RealPath(existing), realFolder = platform::RealPath(folder);
    if (real.empty() || realFolder.empty()) return false;
    if (NamedInside(real, realFolder)) return true;
    // Another name of a folder in the tree (a bind mount of it or of a folder inside it, a second
    // mount of its file system) shows the same place of the same file system. The tree's places: its
    // own, and the roots of the mounts inside it.
    std::vector<platform::MountEntry> mounts;
    Place at, own;
    if (platform::ReadMountTable(&mounts) && PlaceOf(mounts, real, &at) && PlaceOf(mounts, realFolder, &own)) {
        std::vector<Place> tree{own};
        for (const platform::MountEntry& mount : mounts)
            if (NamedInside(mount.mountPoint, realFolder)) tree.push_back({mount.device, mount.root});
        for (const Place& place : tree)
            if (place.device == at.device && NamedInside(at.path, place.path)) return true;
        return false;
    }
    // Without the mount table: a bind mount of the folder itself is still seen, by identity.
    uint64_t device = 0, inode = 0;
    if (!platform::GetFileIdentity(realFolder, &device, &inode)) return false;
    for (std::string up = real; !up.empty(); up = platform::ParentFolder(up)) {
        uint64_t upDevice = 0, upInode = 0;
        if (platform::GetFileIdentity(up, &upDevice, &upInode) && upDevice == device && upInode == inode) return true;
        if (up == "/") break;
    }
    return false;
}
