#pragma once
// How a candidate volume of the whole-device search holds the directory runs (fragments) that lie in
// it: taking chains of runs, testing a run against the candidate's geometry, and the first sectors
// of its runs from which the file tree is made.
#include <cstdint>
#include <vector>

class ExFatDirectoryInfo;
struct ExFatVolume;

// Takes the run and every run chained after it; with mark, flags each as taken with a mark and
// records it among the candidate's marks with the value 1.
void TakeFragmentChain(ExFatVolume& volume, ExFatDirectoryInfo* fragment, bool mark);
// TakeFragmentChain for each run of the list in order; with mark, each listed run's mark becomes value.
void TakeFragmentList(const std::vector<ExFatDirectoryInfo*>& fragments, ExFatVolume& volume, uint32_t value,
                      bool mark);
bool IsFragmentTaken(const ExFatVolume& volume, const ExFatDirectoryInfo* fragment);
// The run lies in the candidate's heap, past its first two clusters.
bool FragmentInsideVolume(const ExFatVolume& volume, const ExFatDirectoryInfo* fragment);
// The run's own cluster lies right before its first file, and none of its files overlaps another or
// the folder itself.
bool IsOwnClusterBeforeFiles(const ExFatDirectoryInfo* fragment, const ExFatVolume& volume, uint32_t bytesPerSector);
// Files the run's first sector among the aligned keys when it is on a cluster boundary, else among
// the misaligned ones. Always true.
bool AddFragmentKey(ExFatVolume& volume, uint64_t sector);
// Stores the sector size and moves the misaligned keys below the limit (the last aligned key, or
// the volume's end when a boot sector was seen) to the aligned ones, up to the first that is not.
void MergeMisalignedKeys(ExFatVolume& volume, uint32_t bytesPerSector);
