#pragma once
// A builder for the fuzz targets: keeps every node it is given and reads what the result views and
// the per-item reader read of it (the name, the extents), so that a bad one shows.
#include <cstring>
#include <vector>

#include "media_recovery/file_model/CFileNode.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"

class KeepingBuilder : public IDirecotryTreeBuilder {
public:
    ~KeepingBuilder() override {
        for (IFileNode* n : nodes) delete n;
    }
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int) override {
        volatile size_t n = std::strlen(node->GetName());
        (void)n;
        if (CFileNode* file = dynamic_cast<CFileNode*>(node))
            if (IDataRunList* runs = file->GetDataRuns()) {
                volatile uint64_t units = 0;
                for (DataRun* r = runs->First(); r; r = runs->Next()) units = units + r->length;
            }
        nodes.push_back(node);
        return true;
    }
    int BeginSearch(int, int, int) override { return 1; }
    void EndSearch(int) override {}
    void Release() override {}
    std::vector<IFileNode*> nodes;
};
