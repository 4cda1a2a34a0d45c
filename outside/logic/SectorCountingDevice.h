#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"

// The phone as the media library sees it, counting every sector read from its volumes, so that
// a scan's progress can be told as the share of the sectors read. Reads may come from the
// library's read-ahead thread as well as from the caller's.
class SectorCountingDevice : public IVirtualDevice {
public:
    explicit SectorCountingDevice(IVirtualDevice& inner);
    ~SectorCountingDevice() override;

    void Release() override {}  // lives as long as the job that made it
    ResultCode EnumStorages(IStorageDevice** array, unsigned* count) override;
    VersionPair GetVersion() override { return inner_.GetVersion(); }
    ResultCode PullFile(const wchar_t* remote, const wchar_t* local) override { return inner_.PullFile(remote, local); }
    int FetchFile(const wchar_t* remote, const wchar_t* local) override { return inner_.FetchFile(remote, local); }

    uint64_t SectorsRead() const { return read_.load(std::memory_order_relaxed); }

private:
    class CountingStorage;

    IVirtualDevice& inner_;
    std::atomic<uint64_t> read_{0};
    std::map<IStorageDevice*, std::unique_ptr<CountingStorage>> volumes_;
};
