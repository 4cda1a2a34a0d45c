#pragma once
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "filesystems/ext/CEXTFileNode.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"
#include "testing/MemoryDevice.h"
#include "testing/RecordingSink.h"

namespace exttest {

inline std::string ImagePath(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/ext_images/" + name;
}

// An image of the ext_size_images fixture, as a name ImagePath and LoadImage take.
inline std::string SizeImage(const std::string& name) { return "../ext_size_images/" + name; }

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline bool Exists(const std::string& path) { return platform::GetEntryKind(path) != platform::EntryKind::Missing; }

// Why an image made through a loop mount is missing, empty when it is there.
inline std::string SkipReason(const std::string& image) {
    if (Exists(ImagePath(image))) return std::string();
    std::string why = ReadFile(ImagePath(image) + ".skipped");
    return why.empty() ? image + " was not made" : why;
}

// Little-endian stores, for on-disk bytes written by a test.
inline void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The first bytes of an image (all of it for 0).
inline std::vector<uint8_t> LoadImage(const std::string& name, size_t bytes = 0) {
    std::ifstream in(ImagePath(name), std::ios::binary | std::ios::ate);
    const size_t size = static_cast<size_t>(in.tellg());
    std::vector<uint8_t> out(bytes && bytes < size ? bytes : size);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return out;
}

// One line of fls's body output.
struct FlsEntry {
    std::string path, name;
    uint32_t inode = 0;
    bool deleted = false, directory = false, regular = false;
    uint64_t size = 0;
    int64_t atime = 0, mtime = 0, ctime = 0;
};

// The live files and folders fls lists by path (its virtual folder and deleted names left out).
inline std::vector<FlsEntry> ReadFls(const std::string& image) {
    std::vector<FlsEntry> out;
    std::istringstream in(ReadFile(ImagePath(image) + ".fls"));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '|')) f.push_back(field);
        if (f.size() < 11 || f[1].rfind("/$OrphanFiles", 0) == 0) continue;
        FlsEntry e;
        e.path = f[1];
        e.deleted = e.path.find(" (deleted") != std::string::npos;
        if (e.deleted) continue;
        size_t arrow = e.path.find(" -> ");  // a symbolic link's target
        if (arrow != std::string::npos) e.path.resize(arrow);
        e.name = e.path.substr(e.path.rfind('/') + 1);
        e.inode = static_cast<uint32_t>(std::stoul(f[2]));
        const std::string mode = f[3].substr(f[3].find('/') + 1);
        e.directory = mode[0] == 'd';
        e.regular = mode[0] == 'r';
        e.size = std::stoull(f[6]);
        e.atime = std::stoll(f[7]);
        e.mtime = std::stoll(f[8]);
        e.ctime = std::stoll(f[9]);
        out.push_back(e);
    }
    return out;
}

// Keeps every node it is given, or refuses files (deleted ones, or all) as asked.
class RecordingBuilder : public IDirecotryTreeBuilder {
public:
    ~RecordingBuilder() override = default;
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int code) override {
        codes.insert(code);
        ++offered;
        if (!node->IsDirectory() && (refuseFiles || (refuseDeleted && node->IsDeleted()))) return false;
        nodes.emplace_back(static_cast<CEXTFileNode*>(node));
        return true;
    }
    int BeginSearch(int code, int, int) override {
        calls.push_back("begin " + std::to_string(code));
        return 1;
    }
    void EndSearch(int code) override { calls.push_back("end " + std::to_string(code)); }
    void Release() override {}

    std::map<uint32_t, CEXTFileNode*> ByInode() const {
        std::map<uint32_t, CEXTFileNode*> out;
        for (auto& n : nodes) out[n->Properties()->InodeNumber()] = n.get();
        return out;
    }

    bool refuseFiles = false;
    bool refuseDeleted = false;
    size_t offered = 0;
    std::vector<std::unique_ptr<CEXTFileNode>> nodes;
    std::set<int> codes;
    std::vector<std::string> calls;
};

using ::RecordingSink;

}  // namespace exttest
