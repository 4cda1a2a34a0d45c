#include "filesystems/fat/CFATFileNode.h"

#include <new>
#include <string>

#include "media_recovery/file_model/IDataRunList.h"

CFATFileNode::~CFATFileNode() { delete properties_; }

void CFATFileNode::AttachProperties(CFATFileProperties* properties) {
    delete properties_;
    properties_ = properties;
    if (!properties_) return;
    SetFirstLocation(properties_->FirstCluster());
    SetSecondLocation(properties_->DirectoryCluster());
    SetLocation(properties_->DirectorySector());
}

const char* CFATFileNode::GetName() { return properties_ && properties_->GetName() ? properties_->GetName() : ""; }
uint64_t CFATFileNode::GetSize() { return properties_ ? properties_->GetSize() : 0; }
uint16_t CFATFileNode::GetAttributes() { return properties_ ? properties_->GetAttributes() : 0; }

uint64_t* CFATFileNode::GetCreationTime(uint64_t* out) {
    if (properties_) return properties_->GetCreationTime(out);
    if (out) *out = 0;
    return out;
}
uint64_t* CFATFileNode::GetModificationTime(uint64_t* out) {
    if (properties_) return properties_->GetModificationTime(out);
    if (out) *out = 0;
    return out;
}
uint64_t* CFATFileNode::GetAccessTime(uint64_t* out) {
    if (properties_) return properties_->GetAccessTime(out);
    if (out) *out = 0;
    return out;
}

bool CFATFileNode::IsDirectory() { return GetAttributes() & 0x10; }
bool CFATFileNode::IsDeleted() { return properties_ && (properties_->GetFlags() & 1); }
bool CFATFileNode::IsSizeCut() { return properties_ && (properties_->GetFlags() & FILE_FLAG_SIZE_CUT); }

IFileNode* CFATFileNode::Clone() {
    CFATFileNode* copy = new (std::nothrow) CFATFileNode;
    if (!copy) return nullptr;
    if (properties_) copy->AttachProperties(static_cast<CFATFileProperties*>(properties_->Clone()));
    if (GetDataRuns()) copy->SetDataRuns(GetDataRuns()->Clone());
    SetNodePartitionIndex(copy, GetPartitionIndex());
    return copy;
}

void CFATFileNode::MarkDeleted() {
    if (properties_) properties_->SetFlags(static_cast<uint8_t>(properties_->GetFlags() | 1));
}

void CFATFileNode::TrimName() {
    if (!properties_ || !properties_->GetName()) return;
    std::string trimmed = TrimLeadingDots(properties_->GetName());
    properties_->SetName(trimmed.c_str());
}
