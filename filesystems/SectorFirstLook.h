#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "media_recovery/ISectorLender.h"

// The first look the FAT and exFAT whole-device finders take at every sector of the pass, taken once
// for both: a byte a sector whose bits say which finder must read it on. Most sectors of a device
// are neither's, and this look is most of what they cost.
namespace first_look {

// May be a FAT boot sector (two FATs, the device's sector size), or begins as a sector the FAT
// finder notes does: a "." entry, a jump, a FAT's first entry.
constexpr uint8_t kFat = 1;
// May begin with exFAT entries that count, or be an exFAT boot sector, FAT or up-case table.
constexpr uint8_t kExFat = 2;

// The first bytes of the sectors the FAT finder notes.
constexpr bool FatNotes(uint8_t b) { return b == '.' || b == 0xEB || b == 0xE9 || b == 0xF0 || (b >= 0xF8 && b < 0xFF); }

// A SectorMarker: the marks above.
void MarkSectors(const uint8_t* sectors, size_t count, uint32_t sectorSize, uint8_t* marks);

// The marks of count sectors from first held at sectors: the device's when it lends them (one look
// for every finder that asks), else made into own.
const uint8_t* MarksOf(ISectorLender* lender, uint64_t first, const uint8_t* sectors, size_t count,
                       uint32_t sectorSize, std::vector<uint8_t>& own);

// Lists in out, in order, the i below count (at most kMostListed) whose marks[i] has a bit of mask;
// their number. out has room for count + 8 (it is written past the last listed). No branch on the
// marks, which one sector in ten or so has, at random, on most data.
constexpr size_t kMostListed = 0x10000;
size_t ListMarked(const uint8_t* marks, size_t count, uint8_t mask, uint16_t* out);

}  // namespace first_look
