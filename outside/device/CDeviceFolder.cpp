#include "outside/device/CDeviceFolder.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>

#include "outside/device/PartitionTable.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/StringConversion.h"

namespace {
bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

void CDeviceFolder::Refuse(const std::string& path, const std::string& why) {
    refusals_.push_back(path + ": " + why);
    std::fprintf(stderr, "device: %s refused: %s\n", path.c_str(), why.c_str());
}

std::string CDeviceFolder::InsideDevice(const std::string& path, platform::EntryKind wanted) {
    const std::string resolved = platform::RealPath(path);
    if (resolved.empty()) {
        Refuse(path, "a link to nothing");
        return std::string();
    }
    if (resolved.size() <= root_.size() || resolved.compare(0, root_.size(), root_) != 0 ||
        resolved[root_.size()] != '/') {
        Refuse(path, "it leads to " + resolved + ", outside the device folder");
        return std::string();
    }
    if (platform::GetEntryKind(resolved) != wanted) {
        Refuse(path, wanted == platform::EntryKind::Directory ? "not a folder" : "not a plain file");
        return std::string();
    }
    return resolved;
}

bool CDeviceFolder::Load(const std::string& path) {
    storages_.clear();
    refusals_.clear();
    root_ = platform::RealPath(path);
    if (root_.empty()) return false;
    platform::EntryKind kind = platform::GetEntryKind(root_);
    if (kind != platform::EntryKind::Directory) {
        // A single image or block device: a phone without files.
        filesRoot_.clear();
        AddDisk(root_, EndsWith(root_, ".4k.img") ? 4096 : 512);
        return !storages_.empty();
    }
    const std::string files = platform::JoinPath(root_, "fs");
    filesRoot_ = platform::EntryExists(files) ? InsideDevice(files, platform::EntryKind::Directory) : std::string();
    platform::IniFile ini;
    if (ini.Load(platform::JoinPath(root_, "device.ini"))) {
        std::string version = ini.Get("device", "version", "2.3");
        int major = 2, minor = 3;
        if (std::sscanf(version.c_str(), "%d.%d", &major, &minor) >= 1) version_ = {major, minor};
        pullFails_ = ini.Get("device", "pull") == "fail";
        fetchFails_ = ini.Get("device", "fetch") == "fail";
    }
    std::vector<std::string> names;
    std::string storage = platform::JoinPath(root_, "storage");
    if (platform::ListDirectory(storage, names)) {
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (!EndsWith(name, ".img")) continue;
            const std::string image = InsideDevice(platform::JoinPath(storage, name), platform::EntryKind::File);
            if (!image.empty()) AddDisk(image, EndsWith(name, ".4k.img") ? 4096 : 512);
        }
    }
    return true;
}

void CDeviceFolder::AddDisk(const std::string& image, uint32_t sectorSize) {
    platform::PlatformFile file;
    std::vector<PartitionExtent> parts;
    if (file.Open(image, platform::PlatformFile::Mode::Read)) {
        long long size = file.Size();
        if (size > 0) parts = ReadPartitionTable(file, static_cast<uint64_t>(size), sectorSize);
    }
    // A volume that cannot be read is still listed: it is the analyser that finds it unusable.
    if (parts.empty()) {
        storages_.push_back(std::make_unique<CImageStorage>(image, sectorSize));
        return;
    }
    for (const PartitionExtent& part : parts)
        storages_.push_back(std::make_unique<CImageStorage>(image, sectorSize, part.offset, part.length));
}

ResultCode CDeviceFolder::EnumStorages(IStorageDevice** array, unsigned* count) {
    if (!count || (*count && !array)) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    unsigned n = std::min<unsigned>(*count, static_cast<unsigned>(storages_.size()));
    for (unsigned i = 0; i < n; ++i) array[i] = storages_[i].get();
    *count = n;
    return RK_OK;
}

std::string CDeviceFolder::ResolveDevicePath(const std::string& remote) const {
    if (filesRoot_.empty() || remote.empty() || remote[0] != '/') return std::string();
    // No component may climb out of the device's files.
    std::string relative;
    size_t start = 1;
    while (start <= remote.size()) {
        size_t end = remote.find('/', start);
        if (end == std::string::npos) end = remote.size();
        std::string part = remote.substr(start, end - start);
        if (part == "..") return std::string();
        if (!part.empty() && part != ".") relative += "/" + part;
        start = end + 1;
    }
    if (relative.empty()) return std::string();
    std::string resolved = platform::RealPath(filesRoot_ + relative);
    if (resolved.size() <= filesRoot_.size() || resolved.compare(0, filesRoot_.size(), filesRoot_) != 0 ||
        resolved[filesRoot_.size()] != '/')
        return std::string();
    if (platform::GetEntryKind(resolved) != platform::EntryKind::File) return std::string();
    return resolved;
}

bool CDeviceFolder::CopyOut(const wchar_t* remote, const wchar_t* local) const {
    if (!remote || !local) return false;
    std::string source = ResolveDevicePath(platform::WideToUtf8(remote));
    if (source.empty()) return false;
    return platform::CopyFile(source, platform::WideToUtf8(local));
}

ResultCode CDeviceFolder::PullFile(const wchar_t* remote, const wchar_t* local) {
    if (pullFails_) return RK_FAIL(RK_E_FAIL);
    return CopyOut(remote, local) ? RK_OK : RK_FAIL(RK_E_NOT_FOUND);
}

int CDeviceFolder::FetchFile(const wchar_t* remote, const wchar_t* local) {
    if (fetchFails_) return 0;
    return CopyOut(remote, local) ? 1 : 0;
}
