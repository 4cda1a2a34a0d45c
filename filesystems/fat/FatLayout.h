#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct FatGeometry;
class IStorageDevice;

// Where a FAT volume's parts lie, told by the parts themselves rather than by its boot sector: the
// FAT copies begin with the media byte, and each folder's first sector with its "." entry, which
// names the cluster it lies in. A boot sector that was edited (its type text, its cluster size, its
// reserved sectors, its number or size of FATs, its root entries) is checked against them, and a
// volume whose boot sector is lost is laid out by them.

// A sector that begins as a folder does ("." then ".."): where it lies, the cluster its "." names
// and the one its ".." names (0: a folder of the root).
struct FatDotSector {
    uint64_t sector;
    uint32_t cluster;
    uint32_t parent;
};

// Entry 0 of a FAT: a media byte (0xF0, 0xF8 to 0xFF), then ones.
bool BeginsLikeAFat(const uint8_t* sector);
// The same, with no boot sector to give the media byte: not 0xFF, which is what a run of end marks
// or of erased flash begins with.
bool BeginsLikeAFatAlone(const uint8_t* sector);
// "." then "..", both folders.
bool BeginsLikeAFolder(const uint8_t* sector);

// How the root's first folders agree with a layout: each folder the root lists (up to eight) whose
// first sector, where the layout puts its cluster, holds its own "." fits; one whose sector holds
// anything else misfits; one whose sector cannot be read (past the device's end) counts neither.
struct FolderFit {
    int fits = 0;
    int misfits = 0;
    bool rootRead = false;    // the root's first sectors could be read (not past the device's end)
    bool rootBegins = false;  // ... and begin as a root does (BeginsLikeARoot)
    bool rootEmpty = false;   // ... with no entry at all
};
// A root folder's first entry: none yet (an empty root), or one whose name, times and attributes
// are an entry's, neither "." nor a subfolder's.
bool BeginsLikeARoot(const uint8_t* sector);
// rootSector: the root's first sector (the fixed root, or the first of the FAT32 root cluster);
// rootSectors: how many of its sectors to look at.
FolderFit RootFoldersFit(IStorageDevice* device, uint32_t sectorSize, uint64_t rootSector, uint32_t rootSectors,
                         uint64_t dataStart, uint32_t sectorsPerCluster, uint64_t clusterCount);
// Whether the root's folders leave a layout standing: they fit more than they misfit, or the root
// lists none that can be read, begins as a root does (or lies past the device's end), and the FAT
// copies are where the layout puts them.
bool LayoutStands(const FolderFit& fit, bool fatSeen);

// The data area that most folders of the root agree on: each two of them whose "." sectors lie
// after lowestDataStart give a cluster size (a power of two, 1 to 128 sectors) and where cluster 2
// begins; the layout most pairs give, when at least two folders fit it. False when none does.
bool LayOutByFolders(const std::vector<FatDotSector>& rootFolders, uint64_t lowestDataStart, uint64_t* dataStart,
                     uint32_t* sectorsPerCluster);

// Why no FAT boot-sector test takes a sector that ends in 55 AA and begins with a jump, in words
// ("its type text", "its sectors per cluster (3)", ...).
std::string WhyNoFatBootSector(const uint8_t* sector, uint32_t sectorSize);
// The fields of a boot sector that disagree with a volume laid out by its parts, in words ("its
// reserved sectors (14081)", ...); its type text when no other does.
std::string FieldsThatDisagree(const uint8_t* sector, const FatGeometry& laidOut, uint32_t sectorSize);

// A volume laid out by its parts: its two FAT copies at fatStart and fatStart + sectorsPerFat, the
// folders of its root (their "." sectors), and what a boot sector before them that no test takes
// still gives (hint, at hintSector; null when there is none): where cluster 2 begins and the
// cluster size as the folders give them, else as the hint does; FAT32 when the data area follows
// the FATs at once, else FAT12 or FAT16 by its clusters; its length as the hint gives it, else up to
// end. False when neither the folders nor the hint place the clusters.
bool LayOutFromParts(uint64_t fatStart, uint32_t sectorsPerFat, const std::vector<FatDotSector>& rootFolders,
                     const uint8_t* hint, uint64_t hintSector, uint64_t end, uint32_t sectorSize, FatGeometry* out);
