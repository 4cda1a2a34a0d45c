#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/Export.h"

// Writes one byte for each of count sectors of sectorSize bytes from sectors: what a first look at
// the sector tells its readers.
using SectorMarker = void (*)(const uint8_t* sectors, size_t count, uint32_t sectorSize, uint8_t* marks);

// A device that can lend the memory in which it already holds some of its sectors, instead of
// copying them out: the whole-device scan reads each chunk where the read-ahead put it.
class RK_INTERFACE ISectorLender {
public:
    virtual ~ISectorLender();
    // Sectors [first, first + count) in one piece, valid while the handle is held; empty when they
    // are not all held in memory.
    virtual std::shared_ptr<const uint8_t> LendSectors(uint64_t first, uint64_t count) = 0;
    // The marks that marker gives sectors [first, first + count) while they are held, made the first
    // time they are asked for and lent to whoever asks with the same marker: searchers that look at
    // sectors alike pay for one look. Valid until the next call; null when the sectors are not all
    // held.
    virtual const uint8_t* LendMarks(uint64_t first, uint64_t count, SectorMarker marker) = 0;
};
