// Quarnet: loads the contacts and SMS/MMS libraries by name, runs both analysers as the logic
// library does (contacts first, then SMS/MMS with the contacts container), releases them and
// waits for a key. The device is the folder named by QUARNET_DEVICE, else the sample phone
// beside the build's programs.
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "outside/device/CDeviceFolder.h"
#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"

using ContactsAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;
using SmsAnalyzer = IRecoveryAnalyzer<IDataContainer<_SMS_INFOMATION>, IVirtualDevice>;

namespace {

ContactsAnalyzer* g_contactsAnalyzer = nullptr;
SmsAnalyzer* g_smsAnalyzer = nullptr;
CDeviceFolder* g_device = nullptr;

template <class Analyzer>
Analyzer* CreateAnalyzer(const wchar_t* library) {
    platform::LibraryHandle handle = platform::LoadLibraryW(library);
    if (!handle) return nullptr;
    auto create = reinterpret_cast<ICommon* (*)()>(platform::GetProcAddress(handle, "CreateObject"));
    ICommon* object = create ? create() : nullptr;
    Analyzer* analyzer = dynamic_cast<Analyzer*>(object);
    if (!analyzer && object) object->Release();
    return analyzer;
}

std::string DevicePath() {
    if (const char* named = std::getenv("QUARNET_DEVICE")) return named;
    std::string program = platform::GetExecutablePath();
    return platform::JoinPath(platform::ParentFolder(platform::ParentFolder(program)), "testdata/sample_phone");
}

}  // namespace

// Runs the SMS/MMS analyser with the contacts container as its argument; its container as an
// integer, 0 when there is none.
uintptr_t RunSmsTest(IDataContainer<_CONTACT_INFOMATION>* contacts) {
    g_smsAnalyzer = CreateAnalyzer<SmsAnalyzer>(L"Pellucet");
    if (!g_smsAnalyzer) return 0;
    IDataContainer<_SMS_INFOMATION>* container = g_smsAnalyzer->Initialize(g_device, nullptr);
    if (container) {
        g_smsAnalyzer->StartRecovery(contacts);
        container->Lock();
        std::printf("Pellucet: %d conversations\n", container->Count());
        container->Unlock();
    }
    return reinterpret_cast<uintptr_t>(container);
}

int TestDriverMain() {
    if (!std::setlocale(LC_ALL, "chs")) std::setlocale(LC_ALL, "");
    g_device = new CDeviceFolder;
    g_device->Load(DevicePath());  // a device that does not load simply has no files

    IDataContainer<_CONTACT_INFOMATION>* contacts = nullptr;
    g_contactsAnalyzer = CreateAnalyzer<ContactsAnalyzer>(L"Merrowin");
    if (g_contactsAnalyzer) {
        contacts = g_contactsAnalyzer->Initialize(g_device, nullptr);
        if (contacts) {
            g_contactsAnalyzer->StartRecovery(nullptr);
            contacts->Lock();
            std::printf("Merrowin: %d contacts\n", contacts->Count());
            contacts->Unlock();
        }
    }
    RunSmsTest(contacts);

    // The SMS/MMS analyser holds the contacts container only while it runs; both go now.
    delete g_contactsAnalyzer;
    g_contactsAnalyzer = nullptr;
    delete g_smsAnalyzer;
    g_smsAnalyzer = nullptr;
    g_device->Release();
    g_device = nullptr;

    std::printf("Press any key to exit...\n");
    std::fflush(stdout);
    std::getchar();
    return 0;
}

int main() { return TestDriverMain(); }
