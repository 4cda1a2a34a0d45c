// Times the exFAT quick search over a 2 GiB volume with 20 000 files (1 000 deleted) as the media
// library runs it against The Sleuth Kit's "fls -r" over the same volume (bench/QuickSearchBench.h).
//   exfat_quick_search_bench [image] [--alone N]    (the image is made when it does not exist; needs root)
#include "bench/QuickSearchBench.h"

int main(int argc, char** argv) {
    quickbench::Setup setup{"exFAT", RK_EXFAT_BENCH_IMAGE, RK_EXFAT_BENCH_SCRIPT,
                            "-e '\\$OrphanFiles' -e '\\$MBR' -e '\\$FAT' -e '\\$ALLOC' -e '\\$UPCASE'"};
    quickbench::ParseArguments(setup, argc, argv);
    return quickbench::Run(setup);
}
