#include "outside/logic/SectorCountingDevice.h"

class SectorCountingDevice::CountingStorage : public IStorageDevice {
public:
    CountingStorage(IStorageDevice* inner, std::atomic<uint64_t>* read) : inner_(inner), read_(read) {}
    int Open() override { return inner_->Open(); }
    bool IsReady() override { return inner_->IsReady(); }
    int Close() override { return inner_->Close(); }
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        int ok = inner_->ReadSectors(buffer, first, count);
        read_->fetch_add(count, std::memory_order_relaxed);
        return ok;
    }
    uint32_t GetSectorSize() override { return inner_->GetSectorSize(); }
    uint64_t GetSectorCount() override { return inner_->GetSectorCount(); }
    uint64_t GetReserved() override { return inner_->GetReserved(); }

private:
    IStorageDevice* inner_;
    std::atomic<uint64_t>* read_;
};

SectorCountingDevice::SectorCountingDevice(IVirtualDevice& inner) : inner_(inner) {}
SectorCountingDevice::~SectorCountingDevice() = default;

ResultCode SectorCountingDevice::EnumStorages(IStorageDevice** array, unsigned* count) {
    ResultCode rc = inner_.EnumStorages(array, count);
    if (Failed(rc) || !array || !count) return rc;
    for (unsigned i = 0; i < *count; ++i) {
        if (!array[i]) continue;
        std::unique_ptr<CountingStorage>& wrapper = volumes_[array[i]];
        if (!wrapper) wrapper.reset(new CountingStorage(array[i], &read_));
        array[i] = wrapper.get();
    }
    return rc;
}
