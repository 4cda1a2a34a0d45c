#include "media_recovery/CArchiveBuilder.h"

#include <atomic>

#include "media_recovery/file_model/IFileNode.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "media_recovery/IRecoveryFilter.h"
#include "sqlite_recovery/framework/Lockers.h"


namespace {
std::atomic<uint32_t> g_nextItemId{0};
}

uint32_t NextItemId() { return g_nextItemId.fetch_add(1); }
uint32_t PeekItemId() { return g_nextItemId.load(); }

CArchiveBuilder::~CArchiveBuilder() {
    // Folders first: each lets go of the files it holds at once.
    for (IFileNode* directory : directories_) delete directory;
    for (IFileNode* file : unlisted_) delete file;
}

bool CArchiveBuilder::Init(IDataContainer<_ARCHIVE_INFOMATION>* container, IProgress* sink, IRecoveryFilter* filter) {
    auto* ours = dynamic_cast<CDataContainer<_ARCHIVE_INFOMATION>*>(container);
    if (!ours || !sink || !filter) return false;
    container_ = ours;
    sink_ = sink;
    filter_ = filter;
    return true;
}

uint32_t CArchiveBuilder::RecordType(int kind, int searcherCode) {
    if (kind == BUILDER_KIND_QUICK) return 16;
    if (kind != BUILDER_KIND_COMPLETE) return 0;
    switch (searcherCode) {
        case SEARCHER_FAT: return 17;
        case SEARCHER_EXFAT: return 18;
        case SEARCHER_EXT: return 19;
        case SEARCHER_RAW: return 20;
        default: return 0;
    }
}

void CArchiveBuilder::AddRecord(IFileNode* node, int searcherCode, uint32_t kind) {
    _ARCHIVE_INFOMATION record{};
    record.id = NextItemId();
    record.check = 0;
    record.type = RecordType(kind_, searcherCode);
    record.reserved = kind;
    record.owner = owner_;
    record.node = node;
    autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> guard(container_);
    container_->InsertItem(record);
}

bool CArchiveBuilder::AddNode(IFileNode* node, int searcherCode) {
    if (!node || !filter_ || !container_) return false;
    // A live file or folder of a FAT or exFAT volume holds its clusters whether it is listed or
    // not, and a deleted entry of the volume may point into them: an unlisted record says so.
    const bool holds = (searcherCode == SEARCHER_FAT || searcherCode == SEARCHER_EXFAT) && !node->IsDeleted();
    const bool accepted = filter_->Accept(node);
    if (node->IsDirectory() || !accepted) {
        if (!node->IsDirectory() && (!holds || node->GetSize() == 0)) return false;
        try {
            (node->IsDirectory() ? directories_ : unlisted_).push_back(node);
        } catch (...) {
            return false;
        }
        if (holds) AddRecord(node, searcherCode, ARCHIVE_RECORD_UNLISTED);
        return true;
    }
    if (searcherCode == SEARCHER_EXT && node->IsDeleted()) return false;
    AddRecord(node, searcherCode, 0);
    sink_->OnDataChanged(DATA_KIND_FILES);
    return true;
}
