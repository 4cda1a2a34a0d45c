#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "media_recovery/file_model/IFileProperties.h"

struct FatEntryFields;

// The properties of one FAT directory entry.
class CFATFileProperties : public IFileProperties {
public:
    CFATFileProperties() = default;
    ~CFATFileProperties() override;
    CFATFileProperties(const CFATFileProperties&) = delete;
    CFATFileProperties& operator=(const CFATFileProperties&) = delete;

    uint16_t GetNameLength() override { return nameLength_; }
    void SetName(const char* name) override;
    char* GetName() override { return name_.get(); }
    uint64_t GetSize() override { return size_; }
    uint16_t GetAttributes() override { return attributes_; }
    std::string GetExtraName() override { return std::string(); }
    uint64_t* GetCreationTime(uint64_t* out) override;
    uint64_t* GetModificationTime(uint64_t* out) override;
    uint64_t* GetAccessTime(uint64_t* out) override;
    uint8_t GetFlags() override { return flags_; }
    void SetFlags(uint8_t flags) override { flags_ = flags; }
    // Always null for a FAT item: its runs are held by its node.
    IDataRunList* GetDataRuns() override { return runs_; }
    // Null when memory runs out.
    IFileProperties* Clone() override;

    void SetFields(const FatEntryFields& fields);
    // What the entry's attributes are taken to be where damage changed them.
    void SetAttributes(uint16_t attributes) { attributes_ = attributes; }
    uint64_t FirstCluster() const { return firstCluster_; }
    void SetFirstCluster(uint64_t cluster) { firstCluster_ = cluster; }
    uint64_t DirectoryCluster() const { return directoryCluster_; }
    uint64_t DirectorySector() const { return directorySector_; }
    void SetDirectory(uint64_t cluster, uint64_t sector) {
        directoryCluster_ = cluster;
        directorySector_ = sector;
    }
    bool IsDeleted() const { return flags_ & 1; }
    // The entry's size said more than its clusters hold: only what they hold is kept, and the item
    // says so (FILE_FLAG_SIZE_CUT).
    void CutSize(uint64_t size) {
        size_ = size;
        flags_ = static_cast<uint8_t>(flags_ | FILE_FLAG_SIZE_CUT);
    }

private:
    std::unique_ptr<char[]> name_;
    uint16_t nameLength_ = 0;
    uint64_t size_ = 0;
    uint16_t attributes_ = 0;
    uint64_t creationTime_ = 0;
    uint64_t writeTime_ = 0;
    uint64_t accessTime_ = 0;
    uint8_t flags_ = 0;
    uint64_t firstCluster_ = 0;
    uint64_t directoryCluster_ = 0;
    uint64_t directorySector_ = 0;
    IDataRunList* runs_ = nullptr;
};

// Properties of the short entry at entries + longNameParts * 32 with the long-name entries before
// it (the naming rules of FatEntryName); null when memory runs out.
CFATFileProperties* MakeEntryProperties(const uint8_t* entries, size_t longNameParts);
// Properties of an entry with the given name; null when memory runs out.
CFATFileProperties* MakeFatProperties(const char* name, const uint8_t* entry);
