#include "filesystems/ext/CExt2FileProperties.h"

#include <new>

#include "media_recovery/file_model/MappingPairs.h"

RK_SLOT_POOL_DEFINE(CExt2FileProperties)

CExt2FileProperties::~CExt2FileProperties() {
    if (runs_ != &packed_) delete runs_;
}

void CExt2FileProperties::SetName(const char* name) {
    try {
        name_ = name ? name : "";
    } catch (const std::bad_alloc&) {
    }
}

void CExt2FileProperties::SetTimes(uint64_t change, uint64_t modification, uint64_t access) {
    times_[0] = change;
    times_[1] = modification;
    times_[2] = access;
}

void CExt2FileProperties::SetPackedRuns(PackedDataRuns* runs) {
    if (runs_ != &packed_) delete runs_;
    packed_.Clear();
    runs_ = runs;
}

void CExt2FileProperties::PackRuns(IDataRunList* list) {
    SetPackedRuns(nullptr);
    if (PackDataRunsInto(list, &packed_)) runs_ = &packed_;
}

IDataRunList* CExt2FileProperties::GetDataRuns() { return runs_ ? UnpackDataRuns(runs_) : nullptr; }

IFileProperties* CExt2FileProperties::Clone() {
    std::unique_ptr<CExt2FileProperties> copy(new (std::nothrow) CExt2FileProperties);
    if (!copy) return nullptr;
    try {
        copy->name_ = name_;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    copy->size_ = size_;
    copy->attributes_ = attributes_;
    for (int i = 0; i < 3; ++i) copy->times_[i] = times_[i];
    copy->flags_ = flags_;
    copy->mark_ = mark_;
    copy->switch_ = switch_;
    copy->inode_ = inode_;
    if (runs_) {
        IDataRunList* list = GetDataRuns();
        if (!list) return nullptr;
        copy->PackRuns(list);
        list->Release();
        if (!copy->runs_) return nullptr;
    }
    return copy.release();
}

void CExt2FileProperties::AddChildName(uint32_t inode, const char* name, size_t length) {
    try {
        if (!childNames_) childNames_.reset(new ExtChildNames);
        childNames_->Add(inode, name, length);
    } catch (const std::bad_alloc&) {
    }
}

std::string CExt2FileProperties::TakeChildName(uint32_t inode) {
    std::string name;
    if (!childNames_) return name;
    try {
        childNames_->Take(inode, &name);
    } catch (const std::bad_alloc&) {
        name.clear();
    }
    if (childNames_->Empty()) childNames_.reset();
    return name;
}

ExtVector<std::string> CExt2FileProperties::TakeChildNames(uint32_t inode) {
    ExtVector<std::string> names;
    if (!childNames_) return names;
    try {
        childNames_->TakeAll(inode, &names);
    } catch (const std::bad_alloc&) {
        names.clear();
    }
    if (childNames_->Empty()) childNames_.reset();
    return names;
}
