#include "filesystems/fat/CFATFileProperties.h"

#include <cstring>
#include <new>

#include "filesystems/fat/FatDirectoryEntry.h"
#include "media_recovery/file_model/IDataRunList.h"

CFATFileProperties::~CFATFileProperties() {
    if (runs_) runs_->Release();
}

void CFATFileProperties::SetName(const char* name) {
    if (!name) name = "";
    size_t length = std::strlen(name);
    if (length > 0xFFFF) length = 0xFFFF;
    std::unique_ptr<char[]> copy(new (std::nothrow) char[length + 1]);
    if (!copy) return;
    std::memcpy(copy.get(), name, length);
    copy[length] = 0;
    name_ = std::move(copy);
    nameLength_ = static_cast<uint16_t>(length);
}

uint64_t* CFATFileProperties::GetCreationTime(uint64_t* out) {
    if (out) *out = creationTime_;
    return out;
}
uint64_t* CFATFileProperties::GetModificationTime(uint64_t* out) {
    if (out) *out = writeTime_;
    return out;
}
uint64_t* CFATFileProperties::GetAccessTime(uint64_t* out) {
    if (out) *out = accessTime_;
    return out;
}

IFileProperties* CFATFileProperties::Clone() {
    CFATFileProperties* copy = new (std::nothrow) CFATFileProperties;
    if (!copy) return nullptr;
    copy->SetName(name_ ? name_.get() : "");
    if (name_ && !copy->name_) {
        delete copy;
        return nullptr;
    }
    copy->size_ = size_;
    copy->attributes_ = attributes_;
    copy->creationTime_ = creationTime_;
    copy->writeTime_ = writeTime_;
    copy->accessTime_ = accessTime_;
    copy->flags_ = flags_;
    copy->firstCluster_ = firstCluster_;
    copy->directoryCluster_ = directoryCluster_;
    copy->directorySector_ = directorySector_;
    if (runs_) copy->runs_ = runs_->Clone();
    return copy;
}

void CFATFileProperties::SetFields(const FatEntryFields& f) {
    SetName(f.name.c_str());
    size_ = f.size;
    attributes_ = f.attributes;
    creationTime_ = f.creationTime;
    writeTime_ = f.writeTime;
    accessTime_ = f.accessTime;
    if (f.deleted) SetFlags(1);
    firstCluster_ = f.firstCluster;
}

CFATFileProperties* MakeFatProperties(const char* name, const uint8_t* entry) {
    CFATFileProperties* p = new (std::nothrow) CFATFileProperties;
    if (!p) return nullptr;
    p->SetFields(DecodeFatEntry(name ? name : "", entry));
    if (!p->GetName()) {
        delete p;
        return nullptr;
    }
    return p;
}

CFATFileProperties* MakeEntryProperties(const uint8_t* entries, size_t longNameParts) {
    std::string name = FatEntryName(entries, longNameParts);
    return MakeFatProperties(name.c_str(), entries + longNameParts * kFatEntrySize);
}
