#pragma once
#include <cstdint>

#include "filesystems/frame/IFileSystemSearchController.h"

// What the media library's controllers call in the file-system readers. Each returns a new searcher
// owned by the caller (deleted through its virtual destructor), null when it cannot be allocated.
IQuickFileSystemSearchController* CreateFATQuickSearcher();     // FAT16 and FAT32, code 0x20
ICompleteFileSystemSearchController* CreateFATCompleteSearcher();  // code 0x20
IQuickFileSystemSearchController* CreateExFatQuickSearch();     // code 0x21
ICompleteFileSystemSearchController* CreateExFatCompleteSearch();  // code 0x21
IQuickFileSystemSearchController* CreateExt2QuickSearch();      // code 0x23
ICompleteFileSystemSearchController* CreateExtCompleteSearch();  // code 0x23: Ext volumes anywhere

// Boot-sector tests on sector 0 (at least 512 readable bytes) with the device's sector size.
bool IsFat12BootSector(const uint8_t* sector, uint32_t sectorSize);
bool IsFat16BootSector(const uint8_t* sector, uint32_t sectorSize);
bool IsFat32BootSector(const uint8_t* sector, uint32_t sectorSize);
bool IsExFatBootSector(const uint8_t* sector, uint32_t sectorSize);
