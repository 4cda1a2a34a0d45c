#pragma once
// State the engine shares between all readers of one library: the overflow buffers and the walk
// clock. One library walks and decodes on one thread at a time; every library that compiles the
// engine in keeps its own copy (hidden visibility).
#include <cstddef>
#include <cstdint>

namespace engine_state {

// The overflow buffer starts at 2 MiB and grows, for a record whose values are larger, up to a
// safety cap; what lies beyond the cap is not delivered. The cap holds one value of the most bytes
// a value may have (kMaxValueBytes, 32 MiB) and the smaller values of its record beside it.
constexpr size_t kOverflowBufferSize = size_t(2) << 20;
constexpr size_t kMaxOverflowBufferSize = (size_t(32) << 20) + kOverflowBufferSize;
constexpr size_t kOverflowPageBufferSize = size_t(64) << 10;

// Both allocated zero-filled on first use and kept until the process ends.
uint8_t* OverflowBuffer();
uint8_t* OverflowPageBuffer();
// Makes the overflow buffer hold at least bytes (at most the cap); returns its size. Grows only
// between decodes: values of earlier records that point into it become invalid.
size_t ReserveOverflowBuffer(size_t bytes);
// Gives back what the overflow buffer grew by (between decodes too).
void ShrinkOverflowBuffer();

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
