// The carving searcher as the whole-device scan drives it: nodes, names, categories and serials.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "media_recovery/raw/CRAWFileNode.h"
#include "media_recovery/raw/CRAWSearchController.h"
#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IDirecotryTreeBuilder.h"
#include "testing/MemoryDevice.h"
#include "media_recovery/RawSearch.h"

namespace {

class CollectingBuilder : public IDirecotryTreeBuilder {
public:
    ~CollectingBuilder() override {
        for (IFileNode* n : nodes) static_cast<IFilesystemNode*>(n)->Release();
    }
    bool Init(IDataContainer<_ARCHIVE_INFOMATION>*, IProgress*, IRecoveryFilter*) override { return true; }
    bool AddNode(IFileNode* node, int code) override {
        EXPECT_EQ(code, SEARCHER_RAW);
        if (refuse) return false;
        nodes.push_back(node);
        return true;
    }
    int BeginSearch(int code, int a, int b) override {
        began = code * 100 + a * 10 + b;
        return 1;
    }
    void EndSearch(int code) override { ended = code; }
    void Release() override {}

    std::vector<IFileNode*> nodes;
    bool refuse = false;
    int began = 0;
    int ended = 0;
};

void PutBmp(std::vector<uint8_t>& d, size_t at, uint32_t size) {
    d[at] = 'B';
    d[at + 1] = 'M';
    std::memcpy(&d[at + 2], &size, 4);
    d[at + 14] = 40;
}

void PutIco(std::vector<uint8_t>& d, size_t at) {
    const uint8_t h[] = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 0x68, 4, 0, 0, 22, 0, 0, 0};
    std::memcpy(&d[at], h, sizeof(h));
}

void PutWmf(std::vector<uint8_t>& d, size_t at) {
    const uint8_t h[] = {1, 0, 9, 0, 0, 3, 0x40, 0, 0, 0};
    std::memcpy(&d[at], h, sizeof(h));
}

std::vector<IFileNode*> Carve(MemoryDevice& dev, uint32_t chunk, CollectingBuilder& builder) {
    std::unique_ptr<ICompleteFileSystemSearchController> c(CreateRAWSearchController());
    c->SetDevice(&dev);
    c->SetChunkSectors(chunk);
    c->SetBuilder(&builder);
    c->BeginSearch();
    for (uint64_t f = 0; f < dev.GetSectorCount(); f += chunk)
        c->ScanChunk(f, std::min<uint64_t>(chunk, dev.GetSectorCount() - f), nullptr);
    c->EndSearch();
    return builder.nodes;
}

TEST(RawController, CategoriesSerialsAndNames) {
    std::vector<uint8_t> d(512 * 64);
    PutBmp(d, 512 * 1, 1000);
    PutIco(d, 512 * 4);
    PutWmf(d, 512 * 8);  // not in any category list: "other"
    PutBmp(d, 512 * 12, 600);
    MemoryDevice dev(d, 512);
    CollectingBuilder b;
    std::vector<IFileNode*> nodes = Carve(dev, 16, b);
    EXPECT_EQ(b.began, 0x22 * 100 + 10);
    EXPECT_EQ(b.ended, 0x22);
    ASSERT_EQ(nodes.size(), 4u);
    EXPECT_STREQ(nodes[0]->GetName(), "FILE000.BMP");
    EXPECT_EQ(nodes[0]->GetLocation2(), 3u);
    EXPECT_EQ(nodes[0]->GetLocation(), 100u);
    EXPECT_STREQ(nodes[1]->GetName(), "FILE000.ICO");
    EXPECT_EQ(nodes[1]->GetLocation2(), 3u);
    EXPECT_EQ(nodes[1]->GetLocation(), 101u);
    EXPECT_STREQ(nodes[2]->GetName(), "FILE000.WMF");
    EXPECT_EQ(nodes[2]->GetLocation2(), 8u);
    EXPECT_EQ(nodes[2]->GetLocation(), 100u);
    EXPECT_STREQ(nodes[3]->GetName(), "FILE001.BMP");
    EXPECT_EQ(nodes[3]->GetLocation(), 102u);
}

TEST(RawController, CarvedNodesAndTheirExtent) {
    std::vector<uint8_t> d(4096 * 16);
    PutBmp(d, 4096 * 3, 9000);
    MemoryDevice dev(d, 4096);
    CollectingBuilder b;
    std::vector<IFileNode*> nodes = Carve(dev, 4, b);
    ASSERT_EQ(nodes.size(), 1u);
    auto* n = dynamic_cast<CRAWFileNode*>(nodes[0]);
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->GetSize(), 9000u);
    EXPECT_TRUE(n->IsDeleted());
    EXPECT_FALSE(n->IsDirectory());
    EXPECT_EQ(n->GetAttributes(), 0x20);
    uint64_t t = 5;
    EXPECT_EQ(*n->GetCreationTime(&t), 0u);
    EXPECT_EQ(n->Clone(), n);
    IDataRunList* runs = n->GetDataRuns();
    ASSERT_NE(runs, nullptr);
    EXPECT_EQ(runs, n->GetProperties()->GetDataRuns());
    DataRun* r = runs->First();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->start, 3);
    EXPECT_EQ(r->length, 3u);  // 9000 bytes in 4096-byte device sectors
    EXPECT_EQ(runs->Next(), nullptr);
    EXPECT_EQ(n->GetProperties()->GetKindConstant(), 463);
}

TEST(RawController, RefusedNodesAreReleasedAndPartitionIsWholeDevice) {
    std::vector<uint8_t> d(512 * 16);
    PutBmp(d, 512, 700);
    MemoryDevice dev(d, 512);
    CollectingBuilder b;
    b.refuse = true;
    EXPECT_TRUE(Carve(dev, 8, b).empty());

    CRAWSearchController c;
    CSearchedPartitionInfo* p = nullptr;
    EXPECT_EQ(c.GetPartitions(&p, 1), 1);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->weight, 1.0);
    EXPECT_EQ(p->sectorsPerCluster, 1u);
    EXPECT_EQ(p->dataStart, 0u);
    EXPECT_EQ(p->sectorSize, 512u);
    delete p;
    EXPECT_EQ(c.GetPartitions(nullptr, 0), 1);
    EXPECT_EQ(c.GetCarveGroup(74), nullptr);
    EXPECT_EQ(c.GetCarveGroup(2000), nullptr);
}

}  // namespace
