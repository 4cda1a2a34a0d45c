#pragma once
#include "filesystems/fat/CFATFileProperties.h"
#include "media_recovery/file_model/CFileNode.h"

// A file or folder found in a FAT directory.
class CFATFileNode : public CFileNode {
public:
    CFATFileNode() = default;
    ~CFATFileNode() override;

    // Takes ownership; copies the first cluster, the directory cluster and the directory sector
    // into the node's two locations and its locator.
    void AttachProperties(CFATFileProperties* properties);
    CFATFileProperties* Properties() const { return properties_; }

    const char* GetName() override;
    uint64_t GetSize() override;
    uint16_t GetAttributes() override;
    uint64_t* GetCreationTime(uint64_t* out) override;
    uint64_t* GetModificationTime(uint64_t* out) override;
    uint64_t* GetAccessTime(uint64_t* out) override;
    bool IsDirectory() override;
    bool IsDeleted() override;
    bool IsSizeCut() override;
    int GetKindCode() override { return 32; }
    IFileNode* Clone() override;
    void MarkDeleted() override;
    void TrimName() override;

private:
    CFATFileProperties* properties_ = nullptr;
};
