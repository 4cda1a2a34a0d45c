#include "filesystems/ext/CEXTFileNode.h"

#include <memory>
#include <new>
#include <string>

#include "media_recovery/file_model/IDataRunList.h"

RK_SLOT_POOL_DEFINE(CEXTFileNode)

CEXTFileNode::~CEXTFileNode() { delete properties_; }

void CEXTFileNode::SetProperties(CExt2FileProperties* properties) {
    SetProperties(properties, properties ? properties->GetDataRuns() : nullptr);
}

void CEXTFileNode::SetProperties(CExt2FileProperties* properties, IDataRunList* runs) {
    if (properties != properties_) delete properties_;
    properties_ = properties;
    SetFirstLocation(0);
    SetSecondLocation(0);
    SetLocation(0);
    SetDataRuns(runs);
}

const char* CEXTFileNode::GetName() { return properties_ ? properties_->GetName() : ""; }
uint64_t CEXTFileNode::GetSize() { return properties_ ? properties_->GetSize() : 0; }
uint16_t CEXTFileNode::GetAttributes() { return properties_ ? properties_->GetAttributes() : 0; }

uint64_t* CEXTFileNode::GetCreationTime(uint64_t* out) {
    if (properties_) return properties_->GetCreationTime(out);
    if (out) *out = 0;
    return out;
}
uint64_t* CEXTFileNode::GetModificationTime(uint64_t* out) {
    if (properties_) return properties_->GetModificationTime(out);
    if (out) *out = 0;
    return out;
}
uint64_t* CEXTFileNode::GetAccessTime(uint64_t* out) {
    if (properties_) return properties_->GetAccessTime(out);
    if (out) *out = 0;
    return out;
}

bool CEXTFileNode::IsDirectory() { return GetAttributes() & FILE_ATTRIBUTE_DIRECTORY_BIT; }
bool CEXTFileNode::IsDeleted() { return properties_ && (properties_->GetFlags() & FILE_FLAG_DELETED); }

IFileNode* CEXTFileNode::Clone() {
    std::unique_ptr<CEXTFileNode> copy(new (std::nothrow) CEXTFileNode);
    if (!copy) return nullptr;
    if (properties_) {
        auto* props = static_cast<CExt2FileProperties*>(properties_->Clone());
        if (!props) return nullptr;
        copy->SetProperties(props);
    }
    IDataRunList* runs = GetDataRuns();
    IDataRunList* runsCopy = runs ? runs->Clone() : nullptr;
    if (runs && !runsCopy) return nullptr;
    copy->SetDataRuns(runsCopy);
    return copy.release();
}

void CEXTFileNode::MarkDeleted() {
    if (properties_) properties_->SetFlags(static_cast<uint8_t>(properties_->GetFlags() | FILE_FLAG_DELETED));
}

void CEXTFileNode::TrimName() {
    if (!properties_) return;
    std::string trimmed = TrimLeadingDots(properties_->GetName());
    properties_->SetName(trimmed.c_str());
}
