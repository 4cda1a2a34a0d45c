#pragma once
#include "filesystems/ext/CExt2FileProperties.h"
#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/SlotPool.h"

// A file or folder found through an Ext2/3/4 inode; it answers from its properties.
class CEXTFileNode : public CFileNode {
public:
    RK_SLOT_POOLED(CEXTFileNode)

    CEXTFileNode() = default;
    ~CEXTFileNode() override;

    // Takes ownership; the node's locations become 0 and its run list is decoded from the properties.
    void SetProperties(CExt2FileProperties* properties);
    // The same with the run list the properties were packed from (taken over; null when they hold
    // no runs) in place of a decoded copy.
    void SetProperties(CExt2FileProperties* properties, IDataRunList* runs);
    CExt2FileProperties* Properties() const { return properties_; }

    const char* GetName() override;
    uint64_t GetSize() override;
    uint16_t GetAttributes() override;
    uint64_t* GetCreationTime(uint64_t* out) override;
    uint64_t* GetModificationTime(uint64_t* out) override;
    uint64_t* GetAccessTime(uint64_t* out) override;
    bool IsDirectory() override;
    bool IsDeleted() override;
    // The size the inode gave was more than its blocks on the volume hold, and was cut to them.
    bool IsSizeCut() override { return properties_ && (properties_->GetFlags() & FILE_FLAG_SIZE_CUT); }
    int GetKindCode() override { return 32; }
    // Its own properties and run list; null when either cannot be made.
    IFileNode* Clone() override;
    void MarkDeleted() override;
    void TrimName() override;

private:
    CExt2FileProperties* properties_ = nullptr;
};
