#include "outside/device/CDeviceFolder.h"

#include <cstdio>
#include <cstdlib>
#include <algorithm>

#include "outside/device/PartitionTable.h"
#include "platform/FileSystem.h"
#include "platform/IniFile.h"
#include "platform/StringConversion.h"
#include "sqlite_recovery/engine/WalFile.h"

namespace {
// device.ini holds a few settings; anything longer is no such file.
constexpr size_t kMostSettingsBytes = 64 * 1024;

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool IsInside(const std::string& path, const std::string& folder) {
    return path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/';
}

// Why a file could not be opened to be read, in words.
std::string OpenFailure(const platform::PlatformFile& file, platform::PlatformFile::Mode mode) {
    if (file.LastError() != platform::PlatformFile::kWrongKind) return platform::ErrorText(file.LastError());
    return mode == platform::PlatformFile::Mode::ReadVolume ? "neither a plain file nor a block device"
                                                            : "not a plain file";
}

// Copies the first length bytes of an open file to a new local file.
bool CopyPrefix(const platform::PlatformFile& from, uint64_t length, const std::string& to) {
    platform::PlatformFile out;
    if (!out.Open(to, platform::PlatformFile::Mode::CreateAlways) || !out.CopyFrom(from, length)) return false;
    int error = 0;
    return out.Close(&error);
}
}  // namespace

void CDeviceFolder::Record(const std::string& path, const std::string& what, const char* printed) {
    const std::string line = path + ": " + what;
    // A path asked for again (each analyser looks for the same databases) is named once.
    if (std::find(refusals_.begin(), refusals_.end(), line) != refusals_.end()) return;
    refusals_.push_back(line);
    if (!quiet_) std::fprintf(stderr, "device: %s%s%s\n", path.c_str(), printed, what.c_str());
}

void CDeviceFolder::Refuse(const std::string& path, const std::string& why) { Record(path, why, " refused: "); }

void CDeviceFolder::Note(const std::string& path, const std::string& what) { Record(path, what, ": "); }

std::string CDeviceFolder::Inside(const std::string& path, const std::string& boundary, platform::EntryKind wanted) {
    const std::string resolved = platform::RealPath(path);
    if (resolved.empty()) {
        Refuse(path, "a link to nothing");
        return std::string();
    }
    if (!IsInside(resolved, boundary)) {
        Refuse(path, "it leads to " + resolved + ", outside " +
                         (IsInside(resolved, root_) ? "the device's files" : "the device folder"));
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
    images_.clear();
    refusals_.clear();
    lostPartitions_ = 0;
    version_ = VersionPair();
    pullFails_ = fetchFails_ = false;
    root_ = platform::RealPath(path);
    if (root_.empty()) return false;
    platform::EntryKind kind = platform::GetEntryKind(root_);
    if (kind != platform::EntryKind::Directory) {
        // A single image or block device: a phone without files.
        filesRoot_.clear();
        AddDisk(root_, root_, EndsWith(root_, ".4k.img") ? 4096 : 512, platform::PlatformFile::Mode::ReadVolume);
        return !storages_.empty();
    }
    const std::string files = platform::JoinPath(root_, "fs");
    filesRoot_ = platform::EntryExists(files) ? Inside(files, root_, platform::EntryKind::Directory) : std::string();
    ReadSettings();
    std::vector<std::string> names;
    std::string storage = platform::JoinPath(root_, "storage");
    if (platform::ListDirectory(storage, names)) {
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            if (!EndsWith(name, ".img")) continue;
            const std::string entry = platform::JoinPath(storage, name);
            const std::string image = Inside(entry, root_, platform::EntryKind::File);
            if (!image.empty())
                AddDisk(image, entry, EndsWith(name, ".4k.img") ? 4096 : 512, platform::PlatformFile::Mode::ReadPlainFile);
        }
    }
    return true;
}

void CDeviceFolder::ReadSettings() {
    const std::string path = platform::JoinPath(root_, "device.ini");
    if (!platform::EntryExists(path)) return;
    const std::string resolved = Inside(path, root_, platform::EntryKind::File);
    if (resolved.empty()) return;
    platform::PlatformFile file;
    if (!file.Open(resolved, platform::PlatformFile::Mode::ReadPlainFile)) {
        Refuse(path, OpenFailure(file, platform::PlatformFile::Mode::ReadPlainFile));
        return;
    }
    // One byte more than allowed tells a file that is too long, whatever its size said.
    std::string text(kMostSettingsBytes + 1, '\0');
    const long long n = file.ReadSomeAt(0, &text[0], text.size());
    if (n < 0) {
        Refuse(path, platform::ErrorText(file.LastError()));
        return;
    }
    if (static_cast<size_t>(n) > kMostSettingsBytes) {
        Refuse(path, "longer than " + std::to_string(kMostSettingsBytes / 1024) + " KiB");
        return;
    }
    text.resize(static_cast<size_t>(n));
    platform::IniFile ini;
    ini.Parse(text);
    std::string version = ini.Get("device", "version", "2.3");
    // "9" is 9.0: a minor number not given is 0, not the default's.
    int major = 2, minor = 0;
    if (std::sscanf(version.c_str(), "%d.%d", &major, &minor) >= 1) version_ = {major, minor};
    pullFails_ = ini.Get("device", "pull") == "fail";
    fetchFails_ = ini.Get("device", "fetch") == "fail";
}

void CDeviceFolder::AddDisk(const std::string& image, const std::string& shown, uint32_t sectorSize,
                            platform::PlatformFile::Mode mode) {
    platform::PlatformFile file;
    if (!file.Open(image, mode)) {
        if (file.LastError() == platform::PlatformFile::kWrongKind) {
            Refuse(shown, OpenFailure(file, mode));
            return;
        }
        // A volume that cannot be read is still listed: it is the analyser that finds it unusable.
        storages_.push_back(std::make_unique<CImageStorage>(image, sectorSize));
        return;
    }
    std::pair<uint64_t, uint64_t> identity;
    if (file.Identity(&identity.first, &identity.second)) {
        auto known = images_.emplace(identity, shown);
        if (!known.second) {
            Refuse(shown, "the same image as " + known.first->second);
            return;
        }
    }
    std::vector<PartitionExtent> parts;
    size_t repeated = 0;
    std::vector<std::string> passedOver;
    long long size = file.Size();
    if (size > 0) parts = ReadPartitionTable(file, static_cast<uint64_t>(size), sectorSize, &repeated, &passedOver);
    for (const std::string& why : passedOver) Note(shown, why);
    if (repeated) Note(shown, std::to_string(repeated) + " partition entries repeat another's and are left out");
    if (parts.empty()) {
        storages_.push_back(std::make_unique<CImageStorage>(image, sectorSize));
        return;
    }
    for (const PartitionExtent& part : parts) {
        // A dump that stopped early keeps its table: what the image holds of a partition is read,
        // and what it lacks is said.
        if (part.length == 0) ++lostPartitions_;
        if (part.length < part.listed) {
            const std::string listed = std::to_string(part.listed / sectorSize);
            Note(shown, "partition " + std::to_string(part.number) +
                            (part.length == 0 ? " lies past the end of the image: none of its " + listed +
                                                    " sectors is there"
                                              : " runs past the end of the image: it holds " +
                                                    std::to_string(part.length / sectorSize) + " of its " + listed +
                                                    " sectors, read as far as it goes"));
        }
        if (part.length > 0)
            storages_.push_back(std::make_unique<CImageStorage>(image, sectorSize, part.offset, part.length));
    }
}

ResultCode CDeviceFolder::EnumStorages(IStorageDevice** array, unsigned* count) {
    if (!count || (*count && !array)) return RK_FAIL(RK_E_INVALID_ARGUMENT);
    unsigned n = std::min<unsigned>(*count, static_cast<unsigned>(storages_.size()));
    for (unsigned i = 0; i < n; ++i) array[i] = storages_[i].get();
    *count = n;
    return RK_OK;
}

std::string CDeviceFolder::ResolveDevicePath(const std::string& remote) {
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
    const std::string local = filesRoot_ + relative;
    // A file the phone does not have is no refusal; one that is there but leads elsewhere is.
    if (platform::RealPath(local).empty() && !platform::EntryExists(local)) return std::string();
    return Inside(local, filesRoot_, platform::EntryKind::File);
}

bool CDeviceFolder::CopyOut(const wchar_t* remote, const wchar_t* local) {
    if (!remote || !local) return false;
    const std::string source = ResolveDevicePath(platform::WideToUtf8(remote));
    if (source.empty()) return false;
    platform::PlatformFile in;
    if (!in.Open(source, platform::PlatformFile::Mode::ReadPlainFile)) {
        if (in.LastError() == platform::PlatformFile::kWrongKind) Refuse(source, "not a plain file");
        return false;
    }
    const long long size = in.Size();
    if (size < 0) return false;
    uint64_t length = static_cast<uint64_t>(size);
    if (EndsWith(source, "-wal")) {
        // A log is of use only as far as its frames check: the rest (a sparse tail of zeros, say)
        // is neither copied nor read again.
        length = WalValidLength(in, length);
        if (length == 0) {
            Note(source, "a log with no valid frame, not copied");
            return false;
        }
        if (length < static_cast<uint64_t>(size))
            Note(source, "a log whose valid frames end at byte " + std::to_string(length) + " of " +
                               std::to_string(size) + ", copied that far");
    }
    return CopyPrefix(in, length, platform::WideToUtf8(local));
}

ResultCode CDeviceFolder::PullFile(const wchar_t* remote, const wchar_t* local) {
    if (pullFails_) return RK_FAIL(RK_E_FAIL);
    return CopyOut(remote, local) ? RK_OK : RK_FAIL(RK_E_NOT_FOUND);
}

int CDeviceFolder::FetchFile(const wchar_t* remote, const wchar_t* local) {
    if (fetchFails_) return 0;
    return CopyOut(remote, local) ? 1 : 0;
}
