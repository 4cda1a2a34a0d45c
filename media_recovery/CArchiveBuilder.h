#pragma once
#include <cstdint>
#include <vector>

#include "sqlite_recovery/framework/CDataContainer.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"

// Record kinds of a builder: 16 for the deleted-file controller, 17 for the whole-device one.
enum : int { BUILDER_KIND_QUICK = 16, BUILDER_KIND_COMPLETE = 17 };

// The controllers' builder: filters each node by category and turns every accepted file into a
// record of the result container; directories are kept aside (owned) and never listed. A live
// folder, and a live file the filter refuses, of a FAT or exFAT volume is kept too and gets an
// unlisted record (ARCHIVE_RECORD_UNLISTED): it is never listed, but the clusters it holds are known.
class CArchiveBuilder : public IDirecotryTreeBuilder {
public:
    CArchiveBuilder(int kind, uint64_t owner) : kind_(kind), owner_(owner) {}
    // Releases the directory nodes, then the unlisted files.
    ~CArchiveBuilder() override;

    // The container must be the library's own CDataContainer.
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>* container, IProgress* sink, IRecoveryFilter* filter) override;
    bool AddNode(IFileNode* node, int searcherCode) override;
    int BeginSearch(int, int, int) override { return 1; }
    void EndSearch(int) override {}
    void Release() override { delete this; }

    // The record type of an accepted node: 16 for kind 16; 17 to 20 by code for kind 17; else 0.
    static uint32_t RecordType(int kind, int searcherCode);
    size_t DirectoryCount() const { return directories_.size(); }

private:
    void AddRecord(IFileNode* node, int searcherCode, uint32_t kind);

    IRecoveryFilter* filter_ = nullptr;
    IProgress* sink_ = nullptr;
    CDataContainer<_ARCHIVE_INFOMATION>* container_ = nullptr;
    int kind_;
    uint64_t owner_;
    std::vector<IFileNode*> directories_;
    std::vector<IFileNode*> unlisted_;  // live files the filter refused, kept for their clusters
};

// The process-wide item-id counter: every record takes the next value. It is never reset, so a
// second recovery in the same process adds records instead of overwriting them.
uint32_t NextItemId();
uint32_t PeekItemId();
