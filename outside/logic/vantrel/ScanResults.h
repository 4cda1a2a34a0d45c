#pragma once
#include <atomic>
#include <memory>

#include "media_recovery/DredgelExports.h"
#include "outside/device/CDeviceFolder.h"
#include "outside/logic/ContactsJob.h"
#include "outside/logic/FoundFileOpener.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/MediaJob.h"
#include "outside/logic/ScanGate.h"
#include "outside/logic/SectorCountingDevice.h"
#include "outside/logic/ShownFiles.h"
#include "outside/logic/SmsJob.h"

// What one scan found: the phone, the three analysers with their containers, and the opening of
// found files. Shared by the controller, a running recovery and open item readers: the last one
// to let go releases the analysers, then the phone they read.
class ScanResults {
public:
    // Takes the phone.
    explicit ScanResults(CDeviceFolder* phone) : phone_(phone), counted_(*phone) {}
    ~ScanResults() { delete opener_.load(); }
    ScanResults(const ScanResults&) = delete;
    ScanResults& operator=(const ScanResults&) = delete;

    CDeviceFolder& Phone() { return *phone_; }
    // The phone as the media library reads it: its sectors counted for the scan's progress.
    SectorCountingDevice& CountedPhone() { return counted_; }
    ScanGate& Gate() { return gate_; }

    ContactsRun& Contacts() { return contacts_; }
    SmsRun& Sms() { return sms_; }
    MediaRun& Media() { return media_; }
    // The found files as the GUI lists them and a recovery writes them: each file once.
    ShownFiles& Shown() { return shown_; }

    // Made by the scanning thread once the media analyser is there; null before.
    void MakeOpener(GetDredgelObjFn getDredgelObj) {
        opener_.store(new FoundFileOpener(getDredgelObj, media_.GetAnalyser(), &gate_));
    }
    FoundFileOpener* Opener() { return opener_.load(); }

private:
    // Destroyed from the bottom up: the opener's recovery objects, the analysers (conversations
    // before the contacts they name), the phone.
    Held<CDeviceFolder> phone_;
    SectorCountingDevice counted_;
    ScanGate gate_;
    ContactsRun contacts_;
    SmsRun sms_;
    MediaRun media_;
    ShownFiles shown_;
    std::atomic<FoundFileOpener*> opener_{nullptr};
};
