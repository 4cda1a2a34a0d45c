#pragma once
#include <memory>
#include <string>

#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/raw/CRAWFileProperties.h"

// A carved file: always deleted, never a folder, no times.
class CRAWFileNode : public CFileNode {
public:
    CRAWFileNode() = default;
    ~CRAWFileNode() override;

    const char* GetName() override { return name_.c_str(); }
    uint64_t GetSize() override { return properties_ ? properties_->GetSize() : 0; }
    uint16_t GetAttributes() override { return properties_ ? properties_->GetAttributes() : 0; }
    uint64_t* GetCreationTime(uint64_t* out) override { return GetAccessTime(out); }
    uint64_t* GetModificationTime(uint64_t* out) override { return GetAccessTime(out); }
    uint64_t* GetAccessTime(uint64_t* out) override {
        if (out) *out = 0;
        return out;
    }
    bool IsDirectory() override { return !properties_ || (properties_->GetAttributes() & 0x10) != 0; }
    bool IsDeleted() override { return true; }
    // Carved nodes are never copied.
    IFileNode* Clone() override { return this; }
    void MarkDeleted() override {}
    void TrimName() override {}

    // Takes the properties and their extents.
    void SetProperties(std::unique_ptr<CRAWFileProperties> properties);
    CRAWFileProperties* GetProperties() { return properties_.get(); }
    void SetName(std::string name) { name_ = std::move(name); }
    std::string CarvedInPart() override { return partReason_; }
    void SetPartReason(std::string why) { partReason_ = std::move(why); }

    // "FILE%03d.%s" or "%s%03d.%s" with the type's counter, which then grows; the prefix is cleaned
    // of path separators and control bytes and shortened so that the name stays below 260 bytes.
    // Empty for a type without a name.
    static std::string MakeName(const std::string& prefix, uint32_t typeId);

private:
    std::unique_ptr<CRAWFileProperties> properties_;
    std::string name_;
    std::string partReason_;
};

// Empties the per-type counters that number carved files (process-wide; at each search).
void ResetNameCounters();
