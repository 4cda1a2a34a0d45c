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
    for (IFileNode* directory : directories_) delete directory;
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

bool CArchiveBuilder::AddNode(IFileNode* node, int searcherCode) {
    if (!node || !filter_ || !container_ || !filter_->Accept(node)) return false;
    if (node->IsDirectory()) {
        try {
            directories_.push_back(node);
        } catch (...) {
            return false;
        }
        return true;
    }
    if (searcherCode == SEARCHER_EXT && node->IsDeleted()) return false;
    _ARCHIVE_INFOMATION record{};
    record.id = NextItemId();
    record.check = 0;
    record.type = RecordType(kind_, searcherCode);
    record.owner = owner_;
    record.node = node;
    autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> guard(container_);
    container_->InsertItem(record);
    sink_->OnDataChanged(DATA_KIND_FILES);
    return true;
}
