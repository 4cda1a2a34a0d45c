#include "outside/logic/JobSupport.h"

#include "outside/device/CDeviceFolder.h"

IJobProgress::~IJobProgress() = default;

void LibraryProgress::OnProgress(const PROGRESS_INFO* record) {
    if (!record || !progress_) return;
    uint64_t total = record->total, done = record->done;  // copies: the record is packed
    if (total == 0) return;
    double share = done >= total ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    progress_->Update(phase_, share);
}

const char* const kContactsDatabases[4] = {
    "/data/data/com.android.providers.contacts/databases/contacts2.db",
    "/data/data/com.motorola.blur.providers.contacts/databases/contacts2.db",
    "/dbdata/databases/com.android.providers.contacts/contacts2.db",
    "/apps/com.android.providers.contacts/db/contacts2.db",
};

const char* const kSmsDatabases[4] = {
    "/data/data/com.android.providers.telephony/databases/mmssms.db",
    "/data/data/com.motorola.blur.providers.contacts/databases/mmssms.db",
    "/dbdata/databases/com.android.providers.telephony/mmssms.db",
    "/apps/com.android.providers.telephony/db/mmssms.db",
};

bool HoldsAnyOf(CDeviceFolder& device, const char* const (&paths)[4]) {
    for (const char* path : paths)
        if (!device.ResolveDevicePath(path).empty()) return true;
    return false;
}
