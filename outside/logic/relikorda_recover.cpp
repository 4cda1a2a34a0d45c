// relikorda-recover --device DIR --out DIR
// Opens a phone (a device folder, an image file or a block device) and reports what it holds.
#include <cstdio>
#include <cstring>
#include <string>

#include "CDeviceFolder.h"
#include "MediaJob.h"
#include "platform/FileSystem.h"

namespace {

const char* const kDatabases[] = {
    "/data/data/com.android.providers.contacts/databases/contacts2.db",
    "/data/data/com.android.providers.contacts/databases/contacts2.db-wal",
    "/data/data/com.android.providers.telephony/databases/mmssms.db",
    "/data/data/com.android.providers.telephony/databases/mmssms.db-wal",
};

int Usage() {
    std::fprintf(stderr, "usage: relikorda-recover --device DIR|IMAGE --out DIR\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string device, out;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) device = argv[++i];
        else if (std::strcmp(argv[i], "--out") == 0 && i + 1 < argc) out = argv[++i];
        else return Usage();
    }
    if (device.empty()) return Usage();

    CDeviceFolder* phone = new CDeviceFolder;
    if (!phone->Load(device)) {
        std::fprintf(stderr, "relikorda-recover: cannot open the device %s\n", device.c_str());
        phone->Release();
        return 1;
    }
    if (!out.empty() && !platform::CreateDirectories(out)) {
        std::fprintf(stderr, "relikorda-recover: cannot create the output folder %s\n", out.c_str());
        phone->Release();
        return 1;
    }

    VersionPair version = phone->GetVersion();
    std::printf("device %s (Android %d.%d)\n", phone->Root().c_str(), version.major, version.minor);
    for (const char* path : kDatabases) {
        std::string local = phone->ResolveDevicePath(path);
        if (!local.empty())
            std::printf("database %s (%lld bytes)\n", path, platform::FileSize(local));
    }
    for (size_t i = 0; i < phone->StorageCount(); ++i) {
        CImageStorage* volume = phone->Storage(i);
        if (volume->Open()) {
            std::printf("volume %zu %s +%llu: %llu sectors of %u bytes\n", i, volume->Path().c_str(),
                        static_cast<unsigned long long>(volume->Offset()),
                        static_cast<unsigned long long>(volume->GetSectorCount()), volume->GetSectorSize());
            volume->Close();
        } else {
            std::printf("volume %zu %s: cannot be opened\n", i, volume->Path().c_str());
        }
    }
    if (!out.empty()) RunMediaJob(*phone, out);
    phone->Release();
    return 0;
}
