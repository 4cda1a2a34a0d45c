#include "outside/logic/ScanGate.h"

#include "sqlite_recovery/framework/Lockers.h"

ScanGate::ScanGate() : parkedSignal_(0, 1), resumeSignal_(0, 1) {}

void ScanGate::EnterScan() {
    autolocker<critical_locker> guard(&lock_);
    scanning_ = true;
    scanner_ = std::this_thread::get_id();
}

void ScanGate::LeaveScan() {
    autolocker<critical_locker> guard(&lock_);
    scanning_ = false;
    // A visitor waiting for a checkpoint may go now.
    if (requested_ && !parked_) parkedSignal_.Release();
}

bool ScanGate::IsScanning() {
    autolocker<critical_locker> guard(&lock_);
    return scanning_;
}

void ScanGate::Checkpoint() {
    {
        autolocker<critical_locker> guard(&lock_);
        if (!requested_ || !scanning_ || parked_) return;
        parked_ = true;
    }
    parkedSignal_.Release();
    // The visitor clears parked_ before it lets the scan go on.
    resumeSignal_.Wait();
}

bool ScanGate::Visit(const std::function<void()>& work, uint32_t waitMs) {
    {
        autolocker<critical_locker> guard(&lock_);
        if (scanning_ && scanner_ == std::this_thread::get_id()) {
            // The scanning thread itself, in a call back: it stands still for its own work.
            work();
            return true;
        }
    }
    autolocker<critical_locker> one(&visitors_);
    {
        autolocker<critical_locker> guard(&lock_);
        if (!scanning_) {
            work();
            return true;
        }
        requested_ = true;
    }
    if (!parkedSignal_.WaitFor(waitMs)) {
        {
            autolocker<critical_locker> guard(&lock_);
            if (!parked_ && scanning_) {
                requested_ = false;
                return false;
            }
        }
        // The scan stood still, or ended, just now: its signal is on the way.
        parkedSignal_.Wait();
    }
    work();
    bool parked;
    {
        autolocker<critical_locker> guard(&lock_);
        requested_ = false;
        parked = parked_;
        parked_ = false;
    }
    if (parked) resumeSignal_.Release();
    return true;
}
