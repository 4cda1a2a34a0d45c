#pragma once
#include <memory>
#include <string>
#include <vector>

#include "outside/device/CImageStorage.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"

// A phone as a folder:
//   device.ini           [device] version=major.minor (default 2.3); pull=fail / fetch=fail for tests
//   fs/<device path>     the phone's files, served by PullFile and FetchFile
//   storage/<name>.img   storage volumes (".4k.img": 4096-byte sectors); a whole-disk image with a
//                        partition table gives one volume per partition
// Links are followed only while they stay inside the folder: fs/ and storage/*.img that lead out of
// it are refused.
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

    // The local file that a device path names; empty when it is outside the device's files or absent.
    std::string ResolveDevicePath(const std::string& remote) const;
    size_t StorageCount() const { return storages_.size(); }
    CImageStorage* Storage(size_t index) const { return storages_[index].get(); }
    const std::string& Root() const { return root_; }
    // What Load refused, one line each: the path and why (a link that leaves the device folder, an
    // entry that is no plain file). Each is also written to standard error.
    const std::vector<std::string>& Refusals() const { return refusals_; }

private:
    bool CopyOut(const wchar_t* remote, const wchar_t* local) const;
    void AddDisk(const std::string& image, uint32_t sectorSize);
    // The path with its links resolved when that stays inside the device folder and is of the kind
    // wanted; otherwise empty, and the refusal noted.
    std::string InsideDevice(const std::string& path, platform::EntryKind wanted);
    void Refuse(const std::string& path, const std::string& why);

    std::string root_;
    std::string filesRoot_;
    VersionPair version_;
    bool pullFails_ = false;
    bool fetchFails_ = false;
    std::vector<std::unique_ptr<CImageStorage>> storages_;
    std::vector<std::string> refusals_;
};
