#pragma once
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/CriticalSection.h"
#include "platform/Semaphore.h"

// Lets other threads reach into the media library while its scan runs. The library's controllers
// and searchers grow their lists of volumes and searchers as the scan goes, without locks, so a
// per-item recovery object may only be made while the scanning thread stands still: at a
// checkpoint, where the scan calls back between steps holding no lock of its own.
class ScanGate {
public:
    ScanGate();
    ScanGate(const ScanGate&) = delete;
    ScanGate& operator=(const ScanGate&) = delete;

    // The scanning thread: around the library's scan, and at each call back into the sink.
    void EnterScan();
    void LeaveScan();
    void Checkpoint();
    bool IsScanning();

    // Any other thread: runs work while the scan stands still at a checkpoint, or at once when no
    // scan runs. False (work not run) when the scan reached no checkpoint within waitMs: it may be
    // waiting for a lock the caller holds. The scanning thread itself, which calls this only from
    // the library's call backs, runs work at once.
    bool Visit(const std::function<void()>& work, uint32_t waitMs);

private:
    CRITICAL_SECTION lock_;      // guards the three fields below
    CRITICAL_SECTION visitors_;  // one visit at a time
    bool scanning_ = false;
    bool requested_ = false;
    bool parked_ = false;
    std::thread::id scanner_;  // the thread between EnterScan and LeaveScan
    platform::Semaphore parkedSignal_;  // the scan stands still (or ended) for the visitor
    platform::Semaphore resumeSignal_;  // the visitor is done
};
