#include "media_recovery/CDredgel.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "media_recovery/CCompleteRecoveryController.h"
#include "media_recovery/CDeletedRecoveryController.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/MediaErrors.h"
#include "media_recovery/file_model/IFileNode.h"
#include "filesystems/frame/ReadInPart.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "sqlite_recovery/framework/Lockers.h"
#include "sqlite_recovery/framework/Logger.h"

CDredgel::~CDredgel() {
    // Directories belong to the controllers' builders and go first: each lets go of its files at
    // once, where a file that went first would look for itself among its folder's other files.
    for (CDeletedRecoveryController* c : deleted_) c->Release();
    for (CCompleteRecoveryController* c : complete_) c->Release();
    if (container_) {
        // The records own the found files; an unlisted record's node was its builder's.
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> guard(container_);
        for (auto it = container_->Begin(); it != container_->End(); ++it) {
            if (it->second.reserved != ARCHIVE_RECORD_UNLISTED) delete it->second.node;
            it->second.node = nullptr;
        }
    }
    delete container_;
}

IDataContainer<_ARCHIVE_INFOMATION>* CDredgel::Initialize(IVirtualDevice* device, IProgress* sink) {
    if (!device || !sink) {
        RK_LOG("[Dredgel] Initialize invalid parameter.");
        return nullptr;
    }
    IStorageDevice* found[16] = {};
    unsigned count = 16;
    ResultCode rc = device->EnumStorages(found, &count);
    RK_LOG("[Dredgel] Enum storage count = %d, nRslt = 0x%x", static_cast<int>(count), ErrorNumber(rc));
    if (Failed(rc)) return nullptr;
    if (count > 16) count = 16;
    volumes_.clear();
    for (unsigned i = 0; i < count; ++i) {
        if (!found[i]) continue;
        if (found[i]->Open() == 0) {
            RK_LOG("[Dredgel] Open storage error i = %d", static_cast<int>(i));
            continue;
        }
        volumes_.push_back(found[i]);
    }
    RK_LOG("[Dredgel] Open all success.");
    RK_LOG("[Dredgel] Virtual devices = %d", static_cast<int>(volumes_.size()));
    if (volumes_.empty()) return nullptr;
    if (!container_) container_ = new (std::nothrow) CDataContainer<_ARCHIVE_INFOMATION>;
    sink_ = sink;
    return container_;
}

ResultCode CDredgel::StartRecovery(ICommon*) {
    RK_LOG("[Dredgel] StartRecovery entry");
    IRecoveryFilter* filter = GetRecoveryFilter();
    std::memset(&overall_, 0, sizeof overall_);
    std::memset(&last_, 0, sizeof last_);
    carry_ = 0;
    if (!container_) return RK_OK;
    ForgetReadInPart();
    for (size_t i = 0; i < volumes_.size(); ++i) {
        if (sink_ && !sink_->ShouldContinue()) break;
        CDeletedRecoveryController* controller = new (std::nothrow) CDeletedRecoveryController;
        if (!controller) continue;
        if (!controller->SetFilter(filter)) {
            controller->Release();
            continue;
        }
        deleted_.push_back(controller);
        ResultCode rc = controller->Run(volumes_[i], this, container_);
        RK_LOG("[Dredgel] Recover delete file i = :%d, nRslt = %d", static_cast<int>(i), static_cast<int>(ErrorNumber(rc)));
    }
    for (size_t i = 0; i < volumes_.size(); ++i) {
        if (sink_ && !sink_->ShouldContinue()) break;
        CCompleteRecoveryController* controller = new (std::nothrow) CCompleteRecoveryController;
        if (!controller) continue;
        if (!controller->SetFilter(filter)) {
            controller->Release();
            continue;
        }
        complete_.push_back(controller);
        ResultCode rc = controller->Run(volumes_[i], this, container_);
        RK_LOG("[Dredgel] Recover all file i = :%d, nRslt = %d", static_cast<int>(i), static_cast<int>(ErrorNumber(rc)));
    }
    return ReadInPartCount() != 0 ? RK_FAIL(MEDIA_E_READ_IN_PART) : RK_OK;
}

namespace {
int Percent(const PROGRESS_INFO& record) {
    if (record.total == 0) return 0;
    return static_cast<int>(static_cast<double>(record.done) / static_cast<double>(record.total) * 100.0);
}
}  // namespace

void CDredgel::OnProgress(const PROGRESS_INFO* record) {
    if (!record) return;
    int gain = Percent(*record) - Percent(last_);
    if (gain < 0) gain = Percent(*record);  // a new controller starts from the beginning
    gain += carry_;
    uint64_t before = overall_.done;  // a copy: the record is packed
    uint64_t done = before + static_cast<uint64_t>(gain / 3);
    carry_ = gain % 3;
    // Past 100 the fold stays just short of the end (which StartRecovery's return reports), and it
    // never goes back.
    if (done > 100) done = std::max<uint64_t>(before, 99);
    overall_.done = done;
    overall_.state = PROGRESS_STATE_RUNNING;
    overall_.total = 100;
    std::memcpy(&last_, record, sizeof last_);
    if (sink_) sink_->OnProgress(&overall_);
}

void CDredgel::OnDataChanged(int kind) {
    if (sink_) sink_->OnDataChanged(kind);
}

int CDredgel::ShouldContinue() { return sink_ ? sink_->ShouldContinue() : 0; }

IArchiveDataRecovery* CDredgel::CreateItemRecovery(const _ARCHIVE_INFOMATION& item) {
    int code = 0;
    switch (item.type) {
        case 16:
            for (CDeletedRecoveryController* c : deleted_)
                if (c->OwnerValue() == item.owner) return c->CreateRecovery(0x24);
            return nullptr;
        case 17: code = 0x20; break;
        case 18: code = 0x21; break;
        case 19: code = 0x23; break;
        case 20: code = 0x22; break;
        default: return nullptr;
    }
    for (CCompleteRecoveryController* c : complete_)
        if (c->OwnerValue() == item.owner) return c->CreateRecovery(code);
    return nullptr;
}
