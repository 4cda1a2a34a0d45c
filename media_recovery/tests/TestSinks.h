#pragma once
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "filesystems/frame/CSearchedPartitionInfo.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "testing/TempFolder.h"

// Records what a sink is told; answers "go on" until stopAfter continue questions were asked.
class CRecordingSink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO* record) override { records.push_back(*record); }
    void OnDataChanged(int kind) override { changed.push_back(kind); }
    int ShouldContinue() override {
        ++questions;
        return stopAfter < 0 || questions <= stopAfter;
    }
    std::vector<PROGRESS_INFO> records;
    std::vector<int> changed;
    int questions = 0;
    int stopAfter = -1;
};

// A searcher with volumes made to order; like the exFAT one it answers a too-small capacity with
// the number it has.
class CFixedSearcher : public IQuickFileSystemSearchController {
public:
    void SetBuilder(IDirecotryTreeBuilder*) override {}
    int GetPartitions(CSearchedPartitionInfo** out, int max) override {
        ++asked;
        int n = static_cast<int>(volumes.size());
        if (!out || max < n) return n;
        for (int i = 0; i < n; ++i) {
            out[i] = new CSearchedPartitionInfo(volumes[i].sectorSize);
            *out[i] = volumes[i];
        }
        return n;
    }
    ResultCode Search(IStorageDevice*, IProgress*) override { return RK_OK; }
    std::vector<CSearchedPartitionInfo> volumes;
    int asked = 0;
};

inline CSearchedPartitionInfo Volume(uint32_t sectorSize, uint32_t spc, uint64_t dataStart, uint16_t index = 0,
                                     double weight = 0.0) {
    CSearchedPartitionInfo p(sectorSize);
    p.sectorsPerCluster = spc;
    p.dataStart = dataStart;
    p.index = index;
    p.weight = weight;
    p.volumeLength = 1u << 30;
    return p;
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

