#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "filesystems/exfat/CExFatFileNode.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "outside/device/CImageStorage.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "testing/RecordingSink.h"

namespace exfattest {

inline std::string FixturePath(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/exfat_images/" + name;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Why the fixture script made no volumes ("" when it made them).
inline std::string SkipReason() {
    std::string reason = ReadFile(FixturePath("SKIPPED"));
    return reason.empty() ? reason : "exFAT volumes were not made: " + reason;
}
#define EXFAT_NEED_VOLUMES()                                            \
    do {                                                                \
        const std::string reason_ = exfattest::SkipReason();            \
        if (!reason_.empty()) GTEST_SKIP() << reason_;                  \
    } while (0)

inline uint32_t SectorSizeOf(const std::string& image) {
    return image.find(".4k.") != std::string::npos ? 4096 : 512;
}

// An image whose reads fail on chosen sectors.
class FailingImage : public CImageStorage {
public:
    FailingImage(const std::string& path, uint32_t sectorSize) : CImageStorage(path, sectorSize) {}
    int ReadSectors(void* buffer, uint64_t first, uint64_t count) override {
        for (uint64_t s : failing)
            if (s >= first && s < first + count) return 0;
        return CImageStorage::ReadSectors(buffer, first, count);
    }
    std::vector<uint64_t> failing;
};

// Keeps every node it is given.
class RecordingBuilder : public IDirecotryTreeBuilder {
public:
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int code) override {
        codes.push_back(code);
        if (refuseFiles && !node->IsDirectory()) return false;
        nodes.emplace_back(static_cast<CExFatFileNode*>(node));
        return true;
    }
    int BeginSearch(int code, int, int) override {
        calls.push_back("begin " + std::to_string(code));
        return 1;
    }
    void EndSearch(int code) override { calls.push_back("end " + std::to_string(code)); }
    void Release() override {}

    bool refuseFiles = false;
    std::vector<std::unique_ptr<CExFatFileNode>> nodes;
    std::vector<int> codes;
    std::vector<std::string> calls;
};

using ::RecordingSink;

// A node's path through its folder links: "/" and the names from its top folder down.
inline std::string TreePath(IFileNode* node) {
    std::string path;
    size_t depth = 0;
    for (IFileNode* n = node; n && depth < 64; n = n->GetParent(), ++depth) path = "/" + std::string(n->GetName()) + path;
    return path;
}

inline std::map<CExFatFileNode*, std::string> TreePaths(const std::vector<std::unique_ptr<CExFatFileNode>>& nodes) {
    std::map<CExFatFileNode*, std::string> paths;
    for (auto& n : nodes) paths[n.get()] = TreePath(n.get());
    return paths;
}

// One line of fls's body output.
struct FlsEntry {
    std::string path;
    std::string inode;
    bool deleted = false;
    bool directory = false;
    uint64_t size = 0;
    int64_t atime = 0, mtime = 0, crtime = 0;
};

inline std::map<std::string, FlsEntry> ReadFls(const std::string& image) {
    std::map<std::string, FlsEntry> out;
    std::istringstream in(ReadFile(FixturePath(image) + ".fls"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        std::string field;
        while (std::getline(fields, field, '|')) f.push_back(field);
        if (f.size() < 11 || f[1].rfind("/$", 0) == 0) continue;
        FlsEntry e;
        e.path = f[1];
        const std::string mark = " (deleted)";
        if (e.path.size() > mark.size() && e.path.compare(e.path.size() - mark.size(), mark.size(), mark) == 0) {
            e.deleted = true;
            e.path.resize(e.path.size() - mark.size());
        }
        e.inode = f[2];
        e.directory = f[3].rfind("d/d", 0) == 0;
        e.size = std::stoull(f[6]);
        e.atime = std::stoll(f[7]);
        e.mtime = std::stoll(f[8]);
        e.crtime = std::stoll(f[10]);
        out[e.path] = e;
    }
    return out;
}

}  // namespace exfattest
