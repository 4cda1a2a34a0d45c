// The first job: says what the phone holds (Android version, databases, MMS part files, volumes).
#include <algorithm>
#include <vector>

#include "outside/device/CDeviceFolder.h"
#include "outside/logic/JobSupport.h"
#include "outside/logic/RecoveryJob.h"
#include "platform/FileSystem.h"

namespace {
const char kPartFolder[] = "/data/data/com.android.providers.telephony/app_parts";

// Part files are listed by name from the device's folder; each is then resolved like any other
// device path, so a link that leads out of the device is not counted.
void ListPartFiles(JobContext& context) {
    std::vector<std::string> names;
    std::string folder = platform::JoinPath(context.device->Root(), std::string("fs") + kPartFolder);
    if (!platform::ListDirectory(folder, names)) return;
    std::sort(names.begin(), names.end());
    size_t count = 0;
    long long bytes = 0;
    for (const std::string& name : names) {
        std::string local = context.device->ResolveDevicePath(std::string(kPartFolder) + "/" + name);
        if (local.empty()) continue;
        ++count;
        bytes += platform::FileSize(local);
    }
    std::fprintf(context.report, "mms parts %s: %zu files (%lld bytes)\n", kPartFolder, count, bytes);
}
}  // namespace

int ListDeviceJob(JobContext& context) {
    CDeviceFolder* phone = context.device;
    VersionPair version = phone->GetVersion();
    std::fprintf(context.report, "device %s (Android %d.%d)\n", phone->Root().c_str(), version.major, version.minor);
    // The stock places only, each database with its write-ahead log.
    for (const char* database : {kContactsDatabases[0], kSmsDatabases[0]}) {
        for (const char* suffix : {"", "-wal"}) {
            std::string path = std::string(database) + suffix;
            std::string local = phone->ResolveDevicePath(path);
            if (!local.empty())
                std::fprintf(context.report, "database %s (%lld bytes)\n", path.c_str(), platform::FileSize(local));
        }
    }
    ListPartFiles(context);
    for (size_t i = 0; i < phone->StorageCount(); ++i) {
        CImageStorage* volume = phone->Storage(i);
        if (volume->Open()) {
            std::fprintf(context.report, "volume %zu %s +%llu: %llu sectors of %u bytes\n", i, volume->Path().c_str(),
                         static_cast<unsigned long long>(volume->Offset()),
                         static_cast<unsigned long long>(volume->GetSectorCount()), volume->GetSectorSize());
            volume->Close();
        } else {
            std::fprintf(context.report, "volume %zu %s: cannot be opened\n", i, volume->Path().c_str());
        }
    }
    return 0;
}
