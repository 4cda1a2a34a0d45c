// The contacts library over a mutated contacts database: the working copy, the views, the table
// analysers, the join, the per-contact XML and the data objects made from it. Nothing may crash,
// hang or leave a working folder behind.
#include <cstdint>

#include "contacts/CMerrowin.h"
#include "fuzz/databases/PhoneFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PhoneFolder phone("/data/data/com.android.providers.contacts/databases/contacts2.db");
    if (size > (1u << 20)) return 0;
    CDeviceFolder device;
    if (!phone.Load(data, size, &device)) return 0;
    CMerrowin* analyser = CMerrowin::Create();
    if (!analyser) return 0;
    if (analyser->Initialize(&device, nullptr)) analyser->StartRecovery(nullptr);
    analyser->Release();
    return 0;
}
