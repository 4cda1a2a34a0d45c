#pragma once
#include <vector>

#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"

class CCompleteRecoveryController;
class CDeletedRecoveryController;
class IArchiveDataRecovery;
class IStorageDevice;

using IMediaAnalyzer = IRecoveryAnalyzer<IDataContainer<_ARCHIVE_INFOMATION>, IVirtualDevice>;

// The media analyser: for every storage volume of the device, the deleted-file controller and then
// the whole-volume controller; their progress folded into one percentage for the caller's sink.
class CDredgel : public IProgress, public IMediaAnalyzer {
public:
    CDredgel() = default;
    // Releases the found files, the controllers and the container.
    ~CDredgel() override;
    CDredgel(const CDredgel&) = delete;
    CDredgel& operator=(const CDredgel&) = delete;

    void OnProgress(const PROGRESS_INFO* record) override;
    void OnDataChanged(int kind) override;
    int ShouldContinue() override;

    void Release() override { delete this; }
    IDataContainer<_ARCHIVE_INFOMATION>* Initialize(IVirtualDevice* device, IProgress* sink) override;
    ResultCode StartRecovery(ICommon* argument) override;

    // The recovery object for an item, from the controller that found it; null when none matches.
    IArchiveDataRecovery* CreateItemRecovery(const _ARCHIVE_INFOMATION& item);

    size_t VolumeCount() const { return volumes_.size(); }
    const PROGRESS_INFO& Overall() const { return overall_; }

private:
    std::vector<CDeletedRecoveryController*> deleted_;
    std::vector<CCompleteRecoveryController*> complete_;
    CDataContainer<_ARCHIVE_INFOMATION>* container_ = nullptr;
    IProgress* sink_ = nullptr;
    std::vector<IStorageDevice*> volumes_;
    PROGRESS_INFO overall_{};
    PROGRESS_INFO last_{};
    int carry_ = 0;  // percentage points not yet passed on (gains are passed on in thirds)
};
