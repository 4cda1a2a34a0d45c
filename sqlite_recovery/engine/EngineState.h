#pragma once
// State the engine shares between all readers of one library: the overflow buffers and the walk
// clock. One library walks and decodes on one thread at a time; every library that compiles the
// engine in keeps its own copy (hidden visibility).
#include <cstddef>
#include <cstdint>

namespace engine_state {

constexpr size_t kOverflowBufferSize = size_t(2) << 20;
constexpr size_t kOverflowPageBufferSize = size_t(64) << 10;

// Both allocated zero-filled on first use and kept until the process ends.
uint8_t* OverflowBuffer();
uint8_t* OverflowPageBuffer();

// Which reader's page the overflow page buffer holds (owner null: none).
struct PageTag {
    const void* owner = nullptr;
    uint64_t page = 0;
};
PageTag& OverflowPageTag();

// Counts decodes that may have rewritten the overflow buffer.
uint64_t NextDecodeGeneration();
uint64_t DecodeGeneration();

// The walk clock: started by every table walk; loops stop once the limit has passed.
void StartWalk();
bool WalkTimeUp();
uint32_t WalkElapsedMs();
void SetWalkTimeLimitMs(uint32_t ms);
uint32_t WalkTimeLimitMs();
constexpr uint32_t kDefaultWalkTimeLimitMs = 600000;

}  // namespace engine_state
