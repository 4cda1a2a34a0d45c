// Times the Ext quick search over a 2 GiB ext4 volume with 20 000 files (1 000 deleted by the
// kernel) as the media library runs it against The Sleuth Kit's "fls -r" over the same volume, and
// against "fls -r -l", which like the quick search reads every inode's size and times
// (bench/QuickSearchBench.h).
//   ext_quick_search_bench [image] [--alone N]    (the image is made when it does not exist)
#include "bench/QuickSearchBench.h"

int main(int argc, char** argv) {
    quickbench::Setup setup{"Ext", RK_EXT_BENCH_IMAGE, RK_EXT_BENCH_SCRIPT,
                            "-e '\\$OrphanFiles'", "-r -l"};
    quickbench::ParseArguments(setup, argc, argv);
    return quickbench::Run(setup);
}
