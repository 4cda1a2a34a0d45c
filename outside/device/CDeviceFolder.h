#pragma once
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "outside/device/CImageStorage.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"

// A phone as a folder:
//   device.ini           [device] version=major.minor (default 2.3); pull=fail / fetch=fail for tests
//   fs/<device path>     the phone's files, served by PullFile and FetchFile
//   storage/<name>.img   storage volumes (".4k.img": 4096-byte sectors); a whole-disk image with a
//                        partition table gives one volume per partition (one that the image ends
//                        inside is read as far as it goes, and that is noted)
// Only plain files are read from it, never through a link that leads out of the folder (or out of
// fs/ for the phone's files), and device.ini only up to 64 KiB: anything else is refused with its
// reason. Each volume is read once: an image that is another's second name, a partition entry that
// repeats another's start and length, is left out. A write-ahead log ("-wal") is copied only as far
// as its valid frames go.
// A single image file or block device is also a device, with no files and that one disk.
class CDeviceFolder : public IVirtualDevice {
public:
    // False when the path is neither a folder nor a readable image.
    bool Load(const std::string& path);

    void Release() override { delete this; }
    ResultCode EnumStorages(IStorageDevice** array, unsigned* count) override;
    VersionPair GetVersion() override { return version_; }
    ResultCode PullFile(const wchar_t* remote, const wchar_t* local) override;
    int FetchFile(const wchar_t* remote, const wchar_t* local) override;

    // The local file that a device path names; empty when it is outside the device's files, absent
    // or refused (the refusal noted).
    std::string ResolveDevicePath(const std::string& remote);
    size_t StorageCount() const { return storages_.size(); }
    CImageStorage* Storage(size_t index) const { return storages_[index].get(); }
    const std::string& Root() const { return root_; }
    // What was refused or cut, one line each: the path and why (a link that leaves the device
    // folder, an entry that is no plain file, a second name of a volume, a log cut to its valid
    // frames). Each is also written to standard error unless the folder is quiet (a watch that
    // loads it again and again would repeat them).
    const std::vector<std::string>& Refusals() const { return refusals_; }
    // Partitions the tables list of which the images hold no sector: what they held is lost.
    size_t LostPartitions() const { return lostPartitions_; }
    void SetQuiet(bool quiet) { quiet_ = quiet; }

private:
    bool CopyOut(const wchar_t* remote, const wchar_t* local);
    void ReadSettings();
    // Adds the volumes of an image, opened as mode allows; shown names it in refusals.
    void AddDisk(const std::string& image, const std::string& shown, uint32_t sectorSize,
                 platform::PlatformFile::Mode mode);
    // The path with its links resolved when that stays inside boundary and is of the kind wanted;
    // otherwise empty, and the refusal noted.
    std::string Inside(const std::string& path, const std::string& boundary, platform::EntryKind wanted);
    void Refuse(const std::string& path, const std::string& why);
    // What was done instead of reading a file as it stands.
    void Note(const std::string& path, const std::string& what);
    void Record(const std::string& path, const std::string& what, const char* printed);

    std::string root_;
    std::string filesRoot_;
    VersionPair version_;
    bool pullFails_ = false;
    bool fetchFails_ = false;
    bool quiet_ = false;
    std::vector<std::unique_ptr<CImageStorage>> storages_;
    std::map<std::pair<uint64_t, uint64_t>, std::string> images_;  // by device and inode: the name read
    std::vector<std::string> refusals_;
    size_t lostPartitions_ = 0;
};
