// The Ext2/3/4 searcher of this build finds nothing yet.
#include <new>

#include "filesystems/FileSystemSearchers.h"

namespace {

class CExt2QuickSearch : public IQuickFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder*) override {}
    int GetPartitions(CSearchedPartitionInfo**, int) override { return 0; }
    ResultCode Search(IStorageDevice*, IProgress*) override { return RK_OK; }
};

}  // namespace

IQuickFileSystemSearchController* CreateExt2QuickSearch() { return new (std::nothrow) CExt2QuickSearch; }
