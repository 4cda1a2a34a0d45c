#pragma once
// The blank images of the whole-device search tests (testdata/complete_search_images, made by
// filesystems/tests/fixtures/make_complete_search_images.sh) and what the tests do with them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "filesystems/frame/IFileSystemSearchController.h"
#include "media_recovery/CDataRecovery.h"
#include "media_recovery/MediaErrors.h"
#include "media_recovery/file_model/IFileNode.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "sqlite_recovery/framework/IStorageDevice.h"

namespace completetest {

inline std::string ImagePath(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/complete_search_images/" + name;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

#define COMPLETE_NEED_IMAGES()                                                                        \
    do {                                                                                              \
        const std::string reason_ = completetest::ReadFile(completetest::ImagePath("SKIPPED"));       \
        if (!reason_.empty()) GTEST_SKIP() << "the whole-device images were not made: " << reason_; \
    } while (0)

// The sector at which a volume (fat16, fat32, exfat) was placed in the images.
inline uint64_t VolumeOffset(const std::string& volume) {
    std::istringstream in(ReadFile(ImagePath("layout")));
    std::string name;
    uint64_t at = 0;
    while (in >> name >> at)
        if (name == volume) return at;
    ADD_FAILURE() << "no " << volume << " in the layout";
    return 0;
}

// The fields of a line separated by '|'.
inline std::vector<std::string> SplitFields(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '|')) fields.push_back(field);
    return fields;
}

// One regular file or folder that fls lists of a volume inside device.img.
struct Listed {
    std::string path;
    std::string inode;
    bool deleted = false;
    bool directory = false;
    uint64_t size = 0;
    std::string Name() const { return path.substr(path.rfind('/') + 1); }
    std::string Icat(const std::string& volume) const {
        return ReadFile(ImagePath("device.img." + volume + ".icat/" + inode));
    }
};

inline std::vector<Listed> ReadListing(const std::string& volume) {
    std::vector<Listed> out;
    std::istringstream in(ReadFile(ImagePath("device.img." + volume + ".fls")));
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = SplitFields(line);
        if (f.size() < 11 || f[1].rfind("/$", 0) == 0) continue;
        Listed e;
        e.path = f[1];
        const std::string mark = " (deleted)";
        if (e.path.size() > mark.size() && e.path.compare(e.path.size() - mark.size(), mark.size(), mark) == 0) {
            e.deleted = true;
            e.path.resize(e.path.size() - mark.size());
        }
        e.inode = f[2].substr(0, f[2].find('-'));
        e.directory = f[3].rfind("d/d", 0) == 0;
        e.size = std::stoull(f[6]);
        out.push_back(e);
    }
    return out;
}

// Drives a whole-device searcher as the controller does: chunks of chunkSectors in order, then the end.
inline void RunWholeDevice(ICompleteFileSystemSearchController& searcher, IStorageDevice& device,
                           IDirecotryTreeBuilder& builder, uint32_t chunkSectors = 8192) {
    searcher.SetDevice(&device);
    searcher.SetChunkSectors(chunkSectors);
    searcher.SetBuilder(&builder);
    searcher.BeginSearch();
    const uint64_t sectors = device.GetSectorCount();
    for (uint64_t first = 0; first < sectors; first += chunkSectors)
        EXPECT_EQ(searcher.ScanChunk(first, std::min<uint64_t>(chunkSectors, sectors - first), nullptr), 1);
    searcher.EndSearch();
}

class QuietSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

// What per-item recovery through the searcher's volumes writes for a node.
class Recoverer {
public:
    Recoverer(IFileSystemSearchController& searcher, IStorageDevice& device) {
        opened_ = Succeeded(recovery_.Open(&searcher, &device));
        char name[] = "/tmp/rk_complete_recovered_XXXXXX";
        if (mkdtemp(name)) folder_ = name;
    }
    ~Recoverer() {
        if (!folder_.empty()) std::system(("rm -rf '" + folder_ + "'").c_str());
    }
    std::string Bytes(IFileNode* node) {
        if (!opened_) return "<no recovery>";
        if (IArchiveFileReader* reader = recovery_.OpenFile(node)) reader->Release();
        const std::string target = folder_ + "/" + std::to_string(++written_);
        QuietSink sink;
        // A file written short (what could be read of it) is written all the same.
        const ResultCode result = recovery_.RecoverTo(target.c_str(), &sink, 1);
        if (Failed(result) && ErrorNumber(result) != MEDIA_E_FILE_SHORT) return "<not written>";
        return ReadFile(target);
    }
    const CDataRecovery& Recovery() const { return recovery_; }

private:
    CDataRecovery recovery_;
    bool opened_ = false;
    std::string folder_;
    int written_ = 0;
};

}  // namespace completetest
