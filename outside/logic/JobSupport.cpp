#include "outside/logic/JobSupport.h"

#include "outside/device/CDeviceFolder.h"

void ConsoleProgress::OnProgress(const PROGRESS_INFO* record) {
    if (!record || record->total == 0) return;
    int percent = static_cast<int>(record->done * 100 / record->total);
    if (percent == last_) return;
    last_ = percent;
    std::fprintf(report_, "%s: %s %d%%\n", label_, record->state == PROGRESS_STATE_FINISHED ? "done" : "recovering",
                 percent);
    std::fflush(report_);
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
