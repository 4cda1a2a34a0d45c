#pragma once
#include <cstring>
#include <string>

#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/IFileProperties.h"

// A plain node for tests: a name, a size, a directory bit and a deleted flag.
class CTestNode : public CFileNode {
public:
    explicit CTestNode(std::string name, uint64_t size = 0, bool directory = false, bool deleted = false)
        : name_(std::move(name)), size_(size), directory_(directory), deleted_(deleted) {}

    const char* GetName() override { return name_.c_str(); }
    uint64_t GetSize() override { return size_; }
    uint16_t GetAttributes() override { return directory_ ? FILE_ATTRIBUTE_DIRECTORY_BIT : FILE_ATTRIBUTE_ARCHIVE_BIT; }
    uint64_t* GetCreationTime(uint64_t* out) override { return Zero(out); }
    uint64_t* GetModificationTime(uint64_t* out) override { return Zero(out); }
    uint64_t* GetAccessTime(uint64_t* out) override { return Zero(out); }
    bool IsDirectory() override { return directory_; }
    bool IsDeleted() override { return deleted_; }
    IFileNode* Clone() override { return new CTestNode(name_, size_, directory_, deleted_); }
    void MarkDeleted() override { deleted_ = true; }
    void TrimName() override { name_ = TrimLeadingDots(name_); }

    void SetSize(uint64_t size) { size_ = size; }

private:
    static uint64_t* Zero(uint64_t* out) {
        if (out) *out = 0;
        return out;
    }
    std::string name_;
    uint64_t size_;
    bool directory_;
    bool deleted_;
};
