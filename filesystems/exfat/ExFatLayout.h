#pragma once
// On-disk layout of an exFAT volume: the main boot sector and the 32-byte directory entries. All
// integers are little-endian; offsets are in bytes from the start of the sector or entry.
#include <cstddef>
#include <cstdint>

#include "sqlite_recovery/framework/ByteOrder.h"

namespace exfat {

// ---- main boot sector ----
// offset  size  field
//      3     8  FileSystemName "EXFAT   "
//     11    53  MustBeZero
//     72     8  VolumeLength, sectors
//     80     4  FatOffset, sectors from the volume's first sector
//     84     4  FatLength, sectors of one FAT
//     88     4  ClusterHeapOffset, sectors from the volume's first sector
//     92     4  ClusterCount, clusters in the heap (numbered 2 .. ClusterCount + 1)
//     96     4  FirstClusterOfRootDirectory
//    108     1  BytesPerSectorShift, 9..12
//    109     1  SectorsPerClusterShift
//    110     1  NumberOfFats, 1 or 2 (only the first is read)
//    510     2  BootSignature 0xAA55
constexpr size_t kBootName = 3;
constexpr size_t kBootNameSize = 8;
constexpr size_t kBootMustBeZero = 11;
constexpr size_t kBootMustBeZeroEnd = 64;
constexpr size_t kBootVolumeLength = 72;
constexpr size_t kBootFatOffset = 80;
constexpr size_t kBootFatLength = 84;
constexpr size_t kBootHeapOffset = 88;
constexpr size_t kBootClusterCount = 92;
constexpr size_t kBootRootCluster = 96;
constexpr size_t kBootBytesPerSectorShift = 108;
constexpr size_t kBootSectorsPerClusterShift = 109;
constexpr size_t kBootNumberOfFats = 110;
constexpr size_t kBootSignature = 510;
constexpr size_t kBootReadBytes = 512;  // every field lies in the first 512 bytes
constexpr uint32_t kLargestSectorSize = 4096;

// ---- the starts of sectors the whole-device search looks for besides entries ----
// A FAT's first entry: the media byte 0xF8, then ones.
constexpr uint8_t kFatStartByte = 0xF8;
// An up-case table: the identity of the first characters, 0 to 7 as u16.
constexpr uint8_t kUpcaseTableStart[16] = {0, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0};

// ---- directory entries ----
constexpr size_t kEntrySize = 32;
// Type byte: bit 7 in use, bit 6 secondary, bit 5 benign, bits 0-4 the type code.
constexpr uint8_t kTypeInUse = 0x80;
constexpr uint8_t kTypeSecondary = 0x40;
constexpr uint8_t kTypeBenign = 0x20;
constexpr uint8_t kTypeEndOfDirectory = 0x00;
constexpr uint8_t kTypeBitmap = 0x81;
constexpr uint8_t kTypeUpcase = 0x82;
constexpr uint8_t kTypeLabel = 0x83;
constexpr uint8_t kTypeLabelDeleted = 0x03;
constexpr uint8_t kTypeFile = 0x85;
constexpr uint8_t kTypeFileDeleted = 0x05;
constexpr uint8_t kTypeStream = 0xC0;
constexpr uint8_t kTypeStreamDeleted = 0x40;
constexpr uint8_t kTypeName = 0xC1;
constexpr uint8_t kTypeNameDeleted = 0x41;
// Benign types that devices write (with the in-use bit): volume GUID, padding, access-control table;
// vendor extension, vendor allocation.
constexpr uint8_t kTypeGuid = 0xA0;
constexpr uint8_t kTypePadding = 0xA1;
constexpr uint8_t kTypeAccessControl = 0xA2;
constexpr uint8_t kTypeVendorExtension = 0xE0;
constexpr uint8_t kTypeVendorAllocation = 0xE1;

// File entry (0x85, deleted 0x05)
//   1  1  SecondaryCount, 2..18
//   2  2  SetChecksum
//   4  2  FileAttributes (0x10 directory)
//   6  2  reserved, zero
//   8  4  CreateTimestamp
//  12  4  LastModifiedTimestamp
//  16  4  LastAccessedTimestamp
//  20  1  Create10msIncrement, at most 199
//  21  1  LastModified10msIncrement, at most 199
//  25  7  reserved, zero
constexpr size_t kFileSecondaryCount = 1;
constexpr size_t kFileSetChecksum = 2;
constexpr size_t kFileAttributes = 4;
constexpr size_t kFileReserved1 = 6;
constexpr size_t kFileCreateTime = 8;
constexpr size_t kFileModifyTime = 12;
constexpr size_t kFileAccessTime = 16;
constexpr size_t kFileCreate10ms = 20;
constexpr size_t kFileModify10ms = 21;
constexpr size_t kFileReserved2 = 25;
constexpr uint8_t kMinSecondaryCount = 2;
constexpr uint8_t kMaxSecondaryCount = 18;
constexpr uint8_t kMax10msIncrement = 199;
constexpr uint16_t kAttrDirectory = 0x10;

// Stream extension entry (0xC0, deleted 0x40)
//   1  1  GeneralSecondaryFlags (bit 1 NoFatChain)
//   2  1  reserved, zero
//   3  1  NameLength
//   4  2  NameHash, of the name's capitals (the up-case table's)
//   6  2  reserved, zero
//   8  8  ValidDataLength
//  16  4  reserved, zero
//  20  4  FirstCluster
//  24  8  DataLength
constexpr size_t kStreamFlags = 1;
constexpr size_t kStreamReserved1 = 2;
constexpr size_t kStreamNameLength = 3;
constexpr size_t kStreamNameHash = 4;
constexpr size_t kStreamReserved2 = 6;
constexpr size_t kStreamValidDataLength = 8;
constexpr size_t kStreamReserved3 = 16;
constexpr size_t kStreamFirstCluster = 20;
constexpr size_t kStreamDataLength = 24;
constexpr uint8_t kFlagNoFatChain = 0x02;

// File name entry (0xC1, deleted 0x41)
//   1  1  GeneralSecondaryFlags, zero
//   2 30  FileName: 15 UTF-16 units, NUL-padded
constexpr size_t kNameFlags = 1;
constexpr size_t kNameText = 2;
constexpr size_t kNameUnitsPerEntry = 15;

// Allocation bitmap (0x81) and up-case table (0x82) entries
//   1  1  BitmapFlags (bitmap) / reserved (up-case, bytes 1-3 zero)
//   2 18  reserved, zero (bitmap); 4-7 TableChecksum and 8-19 reserved (up-case)
//  20  4  FirstCluster
//  24  8  DataLength
constexpr size_t kUpcaseTableChecksum = 4;
constexpr size_t kSystemFirstCluster = 20;
constexpr size_t kSystemDataLength = 24;

// Volume label entry (0x83, deleted 0x03)
//   1  1  CharacterCount, at most 11
//   2 22  VolumeLabel: 11 UTF-16 units
//  24  8  reserved, zero
constexpr size_t kLabelCount = 1;
constexpr size_t kLabelText = 2;
constexpr size_t kLabelReserved = 24;
constexpr uint8_t kLabelMaxUnits = 11;

// Cluster numbers: 2 is the heap's first; entries of the FAT from 0xFFFFFFF7 on are marks.
constexpr uint32_t kFirstCluster = 2;
constexpr uint32_t kLastValidCluster = 0xFFFFFFF5;
constexpr uint32_t kNoCluster = 0xFFFFFFFF;

inline bool AllZero(const uint8_t* p, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i)
        if (p[i] != 0) return false;
    return true;
}

}  // namespace exfat
