// Times the Ext quick search over a 2 GiB ext4 volume with 20 000 files (1 000 deleted by the
// kernel) as the media library runs it against The Sleuth Kit's "fls -r" over the same volume, and
// against "fls -r -l", which like the quick search reads every inode's size and times
// (bench/QuickSearchBench.h).
//   ext_quick_search_bench [image] [--alone N]    (the image is made when it does not exist)
//   ext_quick_search_bench [image] --records      what the result alone costs, against fls -r
#include <cstring>
#include <memory>

#include "bench/QuickSearchBench.h"
#include "filesystems/ext/CEXTFileNode.h"
#include "filesystems/ext/CExt2FileProperties.h"
#include "sqlite_recovery/framework/ItemRecords.h"

namespace {

// Makes, for as many files as the bench volume holds, what the result keeps of each: a node with
// its properties (name, a one-run list packed and decoded into the node) and its record in the
// container's two maps. Nothing is read: no quick search can take less. Returns seconds.
double RecordsAlone(size_t files) {
    CDataContainer<_ARCHIVE_INFOMATION> container;
    std::vector<std::unique_ptr<IFileNode>> nodes;
    nodes.reserve(files);
    auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < files; ++i) {
        auto* props = new CExt2FileProperties;
        CExt2DataRunList runs;
        runs.AddBlockRun(DataRun(static_cast<int64_t>(40000 + 3 * i), 2));
        props->PackRuns(&runs);
        props->TakeName(i % 2 ? "IMG_20240123_045 photo with a long name.jpg" : "IMG01234.JPG");
        auto* node = new CEXTFileNode;
        node->SetProperties(props);
        _ARCHIVE_INFOMATION record{};
        record.id = static_cast<uint32_t>(i);
        record.type = 16;
        record.node = node;
        container.Lock();
        container.InsertItem(record);
        container.Unlock();
        nodes.emplace_back(node);
    }
    return quickbench::Seconds(start);
}

int CompareRecords(const std::string& image) {
    std::printf("load before: %s", quickbench::Load().c_str());
    std::vector<double> ours, theirs;
    for (int pair = 0; pair < 5; ++pair) {
        ours.push_back(RecordsAlone(19000));
        theirs.push_back(quickbench::Fls("-r", image));
        if (theirs.back() <= 0) return 1;
    }
    std::sort(ours.begin(), ours.end());
    std::sort(theirs.begin(), theirs.end());
    std::printf("the result's records alone (19000 files): best %.4f s, median %.4f s\n", ours[0], ours[2]);
    std::printf("fls -r: best %.4f s, median %.4f s; no quick search can be more than %.1f times faster\n",
                theirs[0], theirs[2], theirs[2] / ours[2]);
    std::printf("load after:  %s", quickbench::Load().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    quickbench::Setup setup{"Ext", RK_EXT_BENCH_IMAGE, RK_EXT_BENCH_SCRIPT,
                            "-e '\\$OrphanFiles'", "-r -l"};
    bool records = false;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0) records = true;
        else rest.push_back(argv[i]);
    }
    quickbench::ParseArguments(setup, static_cast<int>(rest.size()), rest.data());
    return records ? CompareRecords(setup.image) : quickbench::Run(setup);
}
