#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "filesystems/ext/ExtChildNames.h"
#include "media_recovery/file_model/IFileProperties.h"
#include "media_recovery/file_model/MappingPairs.h"
#include "media_recovery/file_model/SlotPool.h"

// The properties of one Ext2/3/4 inode: name, size, times, flags and its runs, kept packed as
// mapping pairs and decoded anew for every caller. A folder also keeps the names its entries gave
// to inodes the walk has not reached yet. One is made for every file found, so it is kept small:
// the packed runs live inside it, and the extra name, always empty, is not stored.
class CExt2FileProperties : public IFileProperties {
public:
    RK_SLOT_POOLED(CExt2FileProperties)

    CExt2FileProperties() = default;
    ~CExt2FileProperties() override;
    CExt2FileProperties(const CExt2FileProperties&) = delete;
    CExt2FileProperties& operator=(const CExt2FileProperties&) = delete;

    uint16_t GetNameLength() override { return static_cast<uint16_t>(name_.size()); }
    void SetName(const char* name) override;
    char* GetName() override { return &name_[0]; }
    uint64_t GetSize() override { return size_; }
    uint16_t GetAttributes() override { return attributes_; }
    std::string GetExtraName() override { return std::string(); }
    // i_ctime, i_mtime, i_atime.
    uint64_t* GetCreationTime(uint64_t* out) override { return Put(out, times_[0]); }
    uint64_t* GetModificationTime(uint64_t* out) override { return Put(out, times_[1]); }
    uint64_t* GetAccessTime(uint64_t* out) override { return Put(out, times_[2]); }
    uint8_t GetFlags() override { return flags_; }
    void SetFlags(uint8_t flags) override { flags_ = flags; }
    // A new list of the caller's, null without runs.
    IDataRunList* GetDataRuns() override;
    // Null when memory runs out.
    IFileProperties* Clone() override;
    virtual uint8_t GetMark() { return mark_; }
    virtual void SetMark(uint8_t mark) { mark_ = mark; }
    virtual int ReservedConstantA() { return 255; }
    virtual bool IsSwitchOn() { return switch_ != 0; }
    virtual void SetSwitch(int on) { switch_ = on != 0; }
    virtual int ReservedConstantB() { return 2; }

    // SetName for a name the caller gives up.
    void TakeName(std::string name) { name_ = std::move(name); }
    void SetSize(uint64_t size) { size_ = size; }
    void AddAttributes(uint16_t bits) { attributes_ = static_cast<uint16_t>(attributes_ | bits); }
    void SetTimes(uint64_t change, uint64_t modification, uint64_t access);
    // Takes ownership.
    void SetPackedRuns(PackedDataRuns* runs);
    // Packs list into the properties' own record; no runs for an empty list.
    void PackRuns(IDataRunList* list);
    bool HasRuns() const { return runs_ != nullptr; }
    // GetAttributes and GetFlags without a virtual call, for the walk's own checks.
    bool IsFolder() const { return attributes_ & FILE_ATTRIBUTE_DIRECTORY_BIT; }
    bool IsDeletedFile() const { return flags_ & FILE_FLAG_DELETED; }
    uint32_t InodeNumber() const { return inode_; }
    void SetInodeNumber(uint32_t inode) { inode_ = inode; }

    // Stores (or replaces) the name a folder entry gave inode.
    void AddChildName(uint32_t inode, const std::string& name) { AddChildName(inode, name.data(), name.size()); }
    void AddChildName(uint32_t inode, const char* name, size_t length);
    // The stored name, removed; empty when there is none.
    std::string TakeChildName(uint32_t inode);
    // Every stored name of inode (one folder's entries may name it twice), removed.
    ExtVector<std::string> TakeChildNames(uint32_t inode);

private:
    static uint64_t* Put(uint64_t* out, uint64_t value) {
        if (out) *out = value;
        return out;
    }

    std::string name_;
    uint64_t size_ = 0;
    uint64_t times_[3] = {0, 0, 0};
    PackedDataRuns* runs_ = nullptr;  // &packed_, one given by SetPackedRuns (owned), or null
    std::unique_ptr<ExtChildNames> childNames_;
    uint32_t inode_ = 0;
    uint16_t attributes_ = 0;
    uint8_t flags_ = 0;
    uint8_t mark_ = 0;
    uint8_t switch_ = 0;
    PackedDataRuns packed_;
};
