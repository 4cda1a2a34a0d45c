// The SMS/MMS library over a mutated message database: the table analysers, the join into
// conversations, the MMS parts in SMIL order, the conversation XML and its data objects. Nothing
// may crash, hang or leave a working folder behind.
#include <cstdint>

#include "fuzz/databases/PhoneFolder.h"
#include "sms/CPellucet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static PhoneFolder phone("/data/data/com.android.providers.telephony/databases/mmssms.db");
    if (size > (1u << 20)) return 0;
    CDeviceFolder device;
    if (!phone.Load(data, size, &device)) return 0;
    CPellucet* analyser = new CPellucet;
    if (analyser->Initialize(&device, nullptr)) analyser->StartRecovery(nullptr);
    analyser->Release();
    return 0;
}
