// Times the whole-device pass (the complete controller, its read-ahead cache and builder) with one
// searcher switched on through the factories and carving off: the FAT searcher over the 2 GiB FAT32
// bench image, the exFAT searcher over the 2 GiB exFAT one, five runs each from the page cache. It
// prints the pass's GiB/s and the searcher's own (the bytes over the time spent in its ScanChunk and
// EndSearch), with the median of the five and what each found.
//   complete_search_bench [fat-image exfat-image]   (images are made when missing; needs root)
//
// --share [image [pairs]]: what the FAT and exFAT volume finders cost a pass over an image that holds
// neither (the carving bench's 1 GiB, made when missing): the whole pass with every searcher against
// the pass without those two, in alternating pairs (five unless told); processor time (user + system, both threads)
// of each, the median of the pair ratios and the share of the pass that is the finders' own.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filesystems/FileSystemSearchers.h"
#include "filesystems/frame/IFileSystemSearchController.h"
#include "media_recovery/CCompleteRecoveryController.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/SearcherFactories.h"
#include "outside/device/CImageStorage.h"
#include "bench/BenchSupport.h"
#include "platform/FileSystem.h"
#include "sqlite_recovery/framework/CDataContainer.h"
#include "sqlite_recovery/framework/IProgress.h"

namespace {

using Clock = std::chrono::steady_clock;
double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// Seconds spent inside the searcher being timed, and the volumes it found.
double g_inside = 0;
int g_volumes = 0;
ICompleteFileSystemSearchController* (*g_make)() = nullptr;

// Forwards to the real searcher and adds up the time of its scans and its end.
class Timed : public ICompleteFileSystemSearchController {
public:
    explicit Timed(ICompleteFileSystemSearchController* inner) : inner_(inner) {}
    ~Timed() override { delete inner_; }
    void SetBuilder(IDirecotryTreeBuilder* b) override { inner_->SetBuilder(b); }
    int GetPartitions(CSearchedPartitionInfo** out, int max) override { return inner_->GetPartitions(out, max); }
    void SetDevice(IStorageDevice* d) override { inner_->SetDevice(d); }
    void SetChunkSectors(uint32_t n) override { inner_->SetChunkSectors(n); }
    int BeginSearch() override { return inner_->BeginSearch(); }
    int EndSearch() override {
        const int r = Time([&] { return inner_->EndSearch(); });
        g_volumes = inner_->GetPartitions(nullptr, 0);
        return r;
    }
    int ScanChunk(uint64_t first, uint64_t count, IProgress* sink) override {
        return Time([&] { return inner_->ScanChunk(first, count, sink); });
    }

private:
    template <typename F>
    int Time(F f) {
        const auto start = Clock::now();
        const int r = f();
        g_inside += Seconds(start);
        return r;
    }
    ICompleteFileSystemSearchController* inner_;
};

ICompleteFileSystemSearchController* MakeTimed() {
    ICompleteFileSystemSearchController* inner = g_make();
    return inner ? new Timed(inner) : nullptr;
}

class Quiet : public IProgress {
public:
    void OnProgress(const PROGRESS_INFO*) override {}
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }
};

struct Run {
    double pass = -1, inside = 0;
    size_t found = 0;
    int volumes = 0;
};

Run Pass(const std::string& image, bool exfat) {
    Run run;
    CImageStorage device(image, 512);
    if (device.Open() != 1) return run;
    SearcherFactories& make = GetSearcherFactories();
    g_make = exfat ? CreateExFatCompleteSearch : CreateFATCompleteSearcher;
    make.exfatComplete = exfat ? MakeTimed : nullptr;
    make.fatComplete = exfat ? nullptr : MakeTimed;
    make.rawComplete = nullptr;
    g_inside = 0;
    CDataContainer<_ARCHIVE_INFOMATION> container;
    Quiet sink;
    CCompleteRecoveryController* controller = new CCompleteRecoveryController;
    controller->SetFilter(GetRecoveryFilter());
    const auto start = Clock::now();
    const ResultCode rc = controller->Run(&device, &sink, &container);
    run.pass = Failed(rc) ? -1 : Seconds(start);
    run.inside = g_inside;
    run.volumes = g_volumes;
    for (auto it = container.Begin(); it != container.End(); ++it) ++run.found;
    controller->Release();
    ResetSearcherFactories();
    return run;
}


bool Ensure(const std::string& image, const char* script) {
    if (platform::GetEntryKind(image) == platform::EntryKind::File) return true;
    platform::CreateDirectories(platform::ParentFolder(image));
    std::printf("making %s (a minute or two) ...\n", image.c_str());
    return std::system((std::string(script) + " '" + image + "'").c_str()) == 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double ProcessorSeconds() {
    struct rusage use;
    std::memset(&use, 0, sizeof use);
    getrusage(RUSAGE_SELF, &use);
    return use.ru_utime.tv_sec + use.ru_utime.tv_usec / 1e6 + use.ru_stime.tv_sec + use.ru_stime.tv_usec / 1e6;
}

// One pass with every searcher, or without the two volume finders: its processor seconds (the
// read-ahead thread's included: it has ended when Run returns) and the records it made.
double WholePass(const std::string& image, bool finders, size_t* found) {
    CImageStorage device(image, 512);
    if (device.Open() != 1) return -1;
    if (!finders) {
        GetSearcherFactories().exfatComplete = nullptr;
        GetSearcherFactories().fatComplete = nullptr;
    }
    CDataContainer<_ARCHIVE_INFOMATION> container;
    Quiet sink;
    CCompleteRecoveryController* controller = new CCompleteRecoveryController;
    controller->SetFilter(GetRecoveryFilter());
    const double start = ProcessorSeconds();
    const ResultCode rc = controller->Run(&device, &sink, &container);
    const double used = ProcessorSeconds() - start;
    *found = 0;
    for (auto it = container.Begin(); it != container.End(); ++it) ++*found;
    controller->Release();
    ResetSearcherFactories();
    return Failed(rc) ? -1 : used;
}

int FindersShare(const std::string& image, int pairs) {
    if (platform::GetEntryKind(image) != platform::EntryKind::File) {
        const std::string dir = platform::ParentFolder(image);
        std::printf("making %s ...\n", image.c_str());
        const std::string cmd = "mkdir -p '" + dir + "' && '" + RK_CARVING_BENCH_SCRIPT + "' '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) {
            std::fprintf(stderr, "could not make the image\n");
            return 1;
        }
    }
    size_t withFound = 0, withoutFound = 0;
    WholePass(image, true, &withFound);  // into the page cache
    std::printf("load before: %s", MachineLoad().c_str());
    std::vector<double> with, without, ratios;
    for (int pair = 0; pair < pairs; ++pair) {
        with.push_back(WholePass(image, true, &withFound));
        without.push_back(WholePass(image, false, &withoutFound));
        if (with.back() <= 0 || without.back() <= 0) {
            std::fprintf(stderr, "a pass over %s failed\n", image.c_str());
            return 1;
        }
        ratios.push_back(with.back() / without.back());
        std::printf("pair %d: with the finders %.3f s, without %.3f s, ratio %.3f\n", pair + 1, with.back(),
                    without.back(), ratios.back());
    }
    std::printf("load after:  %s", MachineLoad().c_str());
    const double ratio = MedianOf(ratios);
    std::printf("processor time of the pass: with the FAT and exFAT finders median %.3f s, without %.3f s; "
                "median pair ratio %.3f: the finders are %.1f %% of the pass (target at most 3 %%); files "
                "found %zu with, %zu without\n",
                MedianOf(with), MedianOf(without), ratio, 100.0 * (1.0 - 1.0 / ratio), withFound, withoutFound);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("RELIKORDA_LOG", "/dev/null", 0);  // the controller's log lines are not the report
    if (argc > 1 && std::strcmp(argv[1], "--share") == 0)
        return FindersShare(argc > 2 ? argv[2] : RK_CARVING_BENCH_IMAGE, argc > 3 ? std::max(1, std::atoi(argv[3])) : 5);
    const std::string fat = argc > 2 ? argv[1] : RK_FAT_BENCH_IMAGE;
    const std::string exfat = argc > 2 ? argv[2] : RK_EXFAT_BENCH_IMAGE;
    if (!Ensure(fat, RK_FAT_BENCH_SCRIPT) || !Ensure(exfat, RK_EXFAT_BENCH_SCRIPT)) {
        std::fprintf(stderr, "could not make the images\n");
        return 1;
    }
    std::printf("load before: %s", MachineLoad().c_str());
    struct Subject {
        const char* name;
        std::string image;
        bool exfat;
        std::vector<double> pass, inside;
        size_t found = 0;
        int volumes = 0;
    } subjects[] = {{"FAT searcher over FAT32", fat, false, {}, {}},
                    {"exFAT searcher over exFAT", exfat, true, {}, {}}};
    for (Subject& s : subjects) Pass(s.image, s.exfat);  // into the page cache
    for (int round = 0; round < 5; ++round) {
        for (Subject& s : subjects) {
            const Run r = Pass(s.image, s.exfat);
            if (r.pass <= 0) {
                std::fprintf(stderr, "the pass over %s failed\n", s.image.c_str());
                return 1;
            }
            s.pass.push_back(r.pass);
            s.inside.push_back(r.inside);
            s.found = r.found;
            s.volumes = r.volumes;
        }
    }
    std::printf("load after:  %s", MachineLoad().c_str());
    for (Subject& s : subjects) {
        CImageStorage device(s.image, 512);
        device.Open();
        const double gib = static_cast<double>(device.GetSectorCount()) * 512 / (1u << 30);
        const double best = *std::min_element(s.pass.begin(), s.pass.end());
        std::printf("%-26s %d volume(s), %zu files; pass median %.2f GiB/s (best %.2f), the searcher itself "
                    "median %.2f GiB/s (target at least 1)\n",
                    s.name, s.volumes, s.found, gib / Median(s.pass), gib / best, gib / Median(s.inside));
    }
    return 0;
}
