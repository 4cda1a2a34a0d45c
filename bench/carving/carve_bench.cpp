// Signature carving over a 1 GiB raw image read from the page cache, one core; with PhotoRec on
// the same image when it is installed. Usage: carve_bench [work folder]
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "media_recovery/CCompleteRecoveryController.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "media_recovery/file_model/CFileNode.h"
#include "outside/device/CImageStorage.h"
#include "media_recovery/CRecoveryFilter.h"
#include "sqlite_recovery/framework/IProgress.h"
#include "media_recovery/raw/CRAWFileNode.h"
#include "media_recovery/raw/RawCarveScanner.h"

namespace {

struct Embedded {
    uint64_t offset;
    std::string name;
};

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Exists(const std::string& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

double Seconds(std::chrono::steady_clock::time_point a) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - a).count();
}

void WarmCache(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    std::vector<char> buf(1 << 24);
    while (std::fread(buf.data(), 1, buf.size(), f) == buf.size()) {
    }
    std::fclose(f);
}

class Sink : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

// The same image through the whole-device scan: read-ahead cache, every searcher, builder, records.
double WholeDeviceScan(IStorageDevice& device, int* records) {
    CRecoveryFilter* filter = GetRecoveryFilter();
    filter->SetCategories(127);
    CDataContainer<_ARCHIVE_INFOMATION> container;
    Sink sink;
    CCompleteRecoveryController controller;
    controller.SetFilter(filter);
    auto t0 = std::chrono::steady_clock::now();
    controller.Run(&device, &sink, &container);
    double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    *records = container.Count();
    for (auto it = container.Begin(); it != container.End(); ++it)
        if (auto* n = dynamic_cast<IFilesystemNode*>(it->second.node)) n->Release();
    return t;
}

struct Carve {
    uint64_t size;
    std::string name;
};

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : RK_BENCH_DEFAULT_DIR;
    std::string image = dir + "/bench.img";
    if (!Exists(image)) {
        std::printf("making %s ...\n", image.c_str());
        std::string cmd = std::string("mkdir -p '") + dir + "' && '" + RK_BENCH_IMAGE_SCRIPT + "' '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "could not make the image\n");
            return 1;
        }
    }
    std::vector<Embedded> files;
    {
        std::ifstream m(dir + "/bench.txt");
        Embedded e;
        while (m >> e.offset >> e.name) files.push_back(e);
    }
    WarmCache(image);

    CImageStorage device(image, 512);
    if (device.Open() != 1) return 1;
    const uint64_t bytes = device.GetSectorCount() * 512;
    const uint32_t chunk = 0x400000 / 512;
    double best = 1e9;
    std::map<uint64_t, Carve> carved;
    uint64_t tests = 0;
    for (int rep = 0; rep < 3; ++rep) {
        carved.clear();
        RawCarveScanner scanner;
        scanner.SetOutput([&](RawHit& hit) {
            carved[hit.startSector] = {hit.size, CRAWFileNode::MakeName(hit.namePrefix, hit.fileTypeId)};
            return true;
        });
        auto t0 = std::chrono::steady_clock::now();
        scanner.BeginSearch(&device, chunk);
        uint64_t n = device.GetSectorCount();
        for (uint64_t f = 0; f < n; f += chunk) scanner.ScanChunk(f, std::min<uint64_t>(chunk, n - f), nullptr);
        scanner.EndSearch();
        best = std::min(best, Seconds(t0));
        tests = scanner.HeaderTests();
    }
    // Complete: the carve covers the whole source, byte for byte; exact: and ends where it ends.
    int found = 0, complete = 0, exact = 0;
    for (const Embedded& e : files) {
        auto it = carved.find(e.offset / 512);
        if (it == carved.end()) continue;
        ++found;
        std::vector<uint8_t> src = ReadAll(dir + "/src/" + e.name);
        if (it->second.size < src.size()) continue;
        std::vector<uint8_t> got(src.size());
        FILE* f = std::fopen(image.c_str(), "rb");
        bool same = f && fseeko(f, static_cast<off_t>(e.offset), SEEK_SET) == 0 &&
                    std::fread(got.data(), 1, got.size(), f) == got.size() && got == src;
        if (f) std::fclose(f);
        if (!same) continue;
        ++complete;
        if (it->second.size == src.size()) ++exact;
    }
    double ours = bytes / best / 1e9;
    std::printf("carving: %.2f GiB in %.3f s = %.2f GB/s (one core, best of 3), %llu header tests, %zu files carved\n",
                bytes / double(1ull << 30), best, ours, static_cast<unsigned long long>(tests), carved.size());
    int records = 0;
    double whole = 1e9;
    for (int rep = 0; rep < 2; ++rep) whole = std::min(whole, WholeDeviceScan(device, &records));
    std::printf("whole-device scan (read-ahead cache, all searchers, records): %.3f s = %.2f GB/s, %d records\n",
                whole, bytes / whole / 1e9, records);
    std::printf("carving recall: %d/%zu found, %d/%zu complete, %d/%zu byte-identical\n", found, files.size(), complete,
                files.size(), exact, files.size());

    const char* photorec = "/usr/bin/photorec";
    if (!Exists(photorec)) {
        std::printf("photorec: not installed (Debian package testdisk)\n");
        return 0;
    }
    std::string out = dir + "/photorec";
    std::string clean = "rm -rf '" + out + "' && mkdir -p '" + out + "'";
    if (std::system(clean.c_str()) != 0) return 1;
    std::string cmd = "cd '" + out + "' && " + photorec + " /log /d '" + out + "/recup' /cmd '" + image +
                      "' partition_none,fileopt,everything,disable,jpg,enable,png,enable,gif,enable,bmp,enable,"
                      "tif,enable,psd,enable,ico,enable,search > /dev/null 2>&1";
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(cmd.c_str());
    double pt = Seconds(t0);
    if (rc != 0) std::printf("photorec: exit status %d\n", rc);
    int pfound = 0, pexact = 0;
    for (const Embedded& e : files) {
        char name[64];
        std::snprintf(name, sizeof(name), "/recup.1/f%07llu.", static_cast<unsigned long long>(e.offset / 512));
        std::string ext = e.name.substr(e.name.rfind('.') + 1);
        std::string path = out + name + ext;
        if (!Exists(path)) continue;
        ++pfound;
        if (ReadAll(path) == ReadAll(dir + "/src/" + e.name)) ++pexact;
    }
    double theirs = bytes / pt / 1e9;
    std::printf("photorec: %.3f s = %.2f GB/s; recall %d/%zu found, %d/%zu byte-identical\n", pt, theirs, pfound,
                files.size(), pexact, files.size());
    std::printf("ratio: %.2fx PhotoRec's throughput\n", ours / theirs);
    return 0;
}
