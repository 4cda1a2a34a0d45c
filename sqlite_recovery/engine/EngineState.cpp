#include "sqlite_recovery/engine/EngineState.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "platform/PageMemory.h"

namespace engine_state {
namespace {

uint8_t* AllocateZeroedPages(size_t size) {
    void* p = platform::AllocatePages(size);
    if (!p) throw std::bad_alloc();
    return static_cast<uint8_t*>(p);
}

uint64_t NowMs() {
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The tick (ms) at which the last table walk began.
uint64_t WalkStartTick = 0;
bool g_walkStarted = false;
uint32_t g_walkLimit = kDefaultWalkTimeLimitMs;
uint64_t g_decodeGeneration = 0;

// Grows for a record whose values need more (ReserveOverflowBuffer). Page memory: a page not yet
// written costs nothing, and most databases' records never reach beyond the first pages.
platform::PageBuffer& OverflowStore() {
    static platform::PageBuffer buffer;
    if (!buffer) buffer = platform::PageBuffer(kOverflowBufferSize);  // tried again until it is had
    return buffer;
}

}  // namespace

uint8_t* OverflowBuffer() {
    uint8_t* data = OverflowStore().data();
    if (!data) throw std::bad_alloc();
    return data;
}

size_t ReserveOverflowBuffer(size_t bytes) {
    platform::PageBuffer& buffer = OverflowStore();
    bytes = std::min(bytes, kMaxOverflowBufferSize);
    if (buffer && bytes > buffer.size()) {
        // What it holds comes along; failing that it keeps what it has, and the values are cut there.
        platform::PageBuffer grown(bytes);
        if (grown) {
            std::memcpy(grown.data(), buffer.data(), buffer.size());
            buffer = std::move(grown);
        }
    }
    return buffer.size();
}

void ShrinkOverflowBuffer() {
    platform::PageBuffer& buffer = OverflowStore();
    if (buffer.size() <= kOverflowBufferSize) return;
    platform::PageBuffer small(kOverflowBufferSize);
    if (small) buffer = std::move(small);
}

uint8_t* OverflowPageBuffer() {
    // Page memory, as pages are read into it.
    static uint8_t* buffer = AllocateZeroedPages(kOverflowPageBufferSize);
    return buffer;
}

PageTag& OverflowPageTag() {
    static PageTag tag;
    return tag;
}

uint64_t NextDecodeGeneration() { return ++g_decodeGeneration; }
uint64_t DecodeGeneration() { return g_decodeGeneration; }

void StartWalk() {
    WalkStartTick = NowMs();
    g_walkStarted = true;
}
// Before any walk has started there is no deadline.
bool WalkTimeUp() { return g_walkStarted && NowMs() - WalkStartTick >= g_walkLimit; }
uint32_t WalkElapsedMs() { return static_cast<uint32_t>(NowMs() - WalkStartTick); }
void SetWalkTimeLimitMs(uint32_t ms) { g_walkLimit = ms; }
uint32_t WalkTimeLimitMs() { return g_walkLimit; }

}  // namespace engine_state
