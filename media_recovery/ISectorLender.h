#pragma once
#include <cstdint>
#include <memory>

#include "platform/Export.h"

// A device that can lend the memory in which it already holds some of its sectors, instead of
// copying them out: the whole-device scan reads each chunk where the read-ahead put it.
class RK_INTERFACE ISectorLender {
public:
    virtual ~ISectorLender();
    // Sectors [first, first + count) in one piece, valid while the handle is held; empty when they
    // are not all held in memory.
    virtual std::shared_ptr<const uint8_t> LendSectors(uint64_t first, uint64_t count) = 0;
};
