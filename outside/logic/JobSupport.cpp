#include "outside/logic/JobSupport.h"

#include <cmath>
#include <cstdio>

#include "outside/device/CDeviceFolder.h"
#include "outside/logic/AnalyserRun.h"
#include "platform/DynamicLibrary.h"
#include "sqlite_recovery/framework/IDatabaseDamage.h"

IJobProgress::~IJobProgress() = default;

namespace {
// Below these the estimate jumps about too much to be worth showing.
constexpr double kLeastShareForEstimate = 0.02;
constexpr double kLeastSecondsForEstimate = 2.0;
}  // namespace

bool TellDatabaseDamage(ICommon* analyser, const char* database) {
    const IDatabaseDamage* damage = dynamic_cast<IDatabaseDamage*>(analyser);
    if (!damage) return false;
    const unsigned long long lost = damage->LostPageCount(), pages = damage->DatabasePageCount();
    if (damage->HeaderLost())
        std::fprintf(stderr,
                     "relikorda-recover: %s was read only in part: its first page (the header and the list of its "
                     "tables) is lost; its other %llu pages were read as the Android layout of its tables says\n",
                     database, pages > 0 ? pages - 1 : 0);
    if (lost)
        std::fprintf(stderr,
                     "relikorda-recover: %s was read only in part: %llu of its %llu pages %s not what the page or "
                     "free list pointing at %s says (zeroed, of another kind or past its end); the records %s held "
                     "are lost\n",
                     database, lost, pages, lost == 1 ? "is" : "are", lost == 1 ? "it" : "them",
                     lost == 1 ? "it" : "they");
    return damage->HeaderLost() || lost != 0;
}

bool EstimateSecondsLeft(double share, double elapsedSeconds, long* seconds) {
    if (!(share >= kLeastShareForEstimate) || share >= 1.0 || elapsedSeconds < kLeastSecondsForEstimate) return false;
    long left = std::lround(elapsedSeconds * (1.0 - share) / share);
    *seconds = left < 1 ? 1 : left;
    return true;
}
IWriteObserver::~IWriteObserver() = default;

void* FindLibraryExport(const wchar_t* library, const char* name) {
    platform::LibraryHandle handle = platform::LoadLibraryW(library);
    return handle ? platform::GetProcAddress(handle, name) : nullptr;
}

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

bool HoldsAnythingToRead(CDeviceFolder& phone) {
    if (HoldsAnyOf(phone, kContactsDatabases) || HoldsAnyOf(phone, kSmsDatabases)) return true;
    for (size_t i = 0; i < phone.StorageCount(); ++i) {
        CImageStorage* volume = phone.Storage(i);
        bool readable = volume->Open() && volume->GetSectorCount() > 0;
        volume->Close();
        if (readable) return true;
    }
    return false;
}
