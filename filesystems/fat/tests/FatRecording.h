#pragma once
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "filesystems/fat/CFATFileNode.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "testing/RecordingSink.h"

namespace fattest {

// A builder that keeps every node it is given (or refuses files when asked to).
class RecordingBuilder : public IDirecotryTreeBuilder {
public:
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int code) override {
        codes.push_back(code);
        if (refuseFiles && !node->IsDirectory()) return false;
        nodes.emplace_back(static_cast<CFATFileNode*>(node));
        return true;
    }
    int BeginSearch(int code, int a, int b) override {
        calls.push_back("begin " + std::to_string(code) + " " + std::to_string(a) + " " + std::to_string(b));
        return 1;
    }
    void EndSearch(int code) override { calls.push_back("end " + std::to_string(code)); }
    void Release() override {}

    // Files first destroyed, so that no directory outlives a child that points at it (either order is safe).
    ~RecordingBuilder() override { nodes.clear(); }

    bool refuseFiles = false;
    std::vector<std::unique_ptr<CFATFileNode>> nodes;
    std::vector<int> codes;
    std::vector<std::string> calls;
};

using ::RecordingSink;

// "/A/B/name" from the node's parents.
inline std::string PathOf(IFileNode* node) {
    std::string path;
    for (IFileNode* n = node; n; n = n->GetParent()) path = "/" + std::string(n->GetName()) + path;
    return path;
}

// The bytes of a found file, read through its runs as the per-item reader reads them.
inline std::string ReadThroughRuns(IStorageDevice* device, CFileNode* node, uint64_t dataStart, uint32_t spc) {
    const uint32_t ss = device->GetSectorSize();
    std::string out;
    IDataRunList* runs = node->GetDataRuns();
    if (!runs) return out;
    const uint64_t size = node->GetSize();
    std::vector<char> buffer(static_cast<size_t>(spc) * ss);
    for (DataRun* r = runs->First(); r && out.size() < size; r = runs->Next()) {
        for (uint64_t k = 0; k < r->length && out.size() < size; ++k) {
            uint64_t sector = dataStart + (static_cast<uint64_t>(r->start) + k) * spc;
            if (!device->ReadSectors(buffer.data(), sector, spc)) return out + "<read failed>";
            out.append(buffer.data(), std::min<uint64_t>(buffer.size(), size - out.size()));
        }
    }
    return out;
}

}  // namespace fattest
