#pragma once
#include <cstddef>
#include <cstdint>

struct ExtSuperBlock;

// CRC16 (polynomial 0x8005, reflected) and CRC32C (Castagnoli, reflected), both continued from crc
// without inverting in or out, as the Ext2/3/4 metadata checksums are computed.
uint16_t ExtCrc16(uint16_t crc, const uint8_t* data, size_t size);
uint32_t ExtCrc32c(uint32_t crc, const uint8_t* data, size_t size);

// The checksum that descriptor bytes[0..size) of group must carry (its own checksum field is left
// out), or -1 when the volume keeps no descriptor checksums.
int32_t ExtDescriptorChecksum(const ExtSuperBlock& sb, uint32_t group, const uint8_t* bytes, size_t size);

// False when inode ino (its size bytes as the table holds them) carries a CRC32C that does not
// match; true when it matches or the volume keeps no inode checksums.
bool ExtInodeChecksumHolds(const ExtSuperBlock& sb, uint32_t ino, const uint8_t* bytes, size_t size);

// False when an extent tree block (block size bytes) of inode ino with its generation carries a
// CRC32C in its tail that does not match; true when it matches, when the node leaves no room for a
// tail, or when the volume keeps no metadata checksums.
bool ExtExtentBlockChecksumHolds(const ExtSuperBlock& sb, uint32_t ino, uint32_t generation, const uint8_t* block,
                                 size_t size);

// The CRC32C a block bitmap's first size bytes carry in their descriptor (metadata checksums).
uint32_t ExtBitmapChecksum(const ExtSuperBlock& sb, const uint8_t* bitmap, size_t size);

// False when a folder's block (block size bytes) of inode ino with its generation ends in a checksum
// tail whose CRC32C does not match; true when it matches, when the block has no such tail (an index
// block of a large folder), or when the volume keeps no metadata checksums.
bool ExtFolderBlockChecksumHolds(const ExtSuperBlock& sb, uint32_t ino, uint32_t generation, const uint8_t* block,
                                 size_t size);
