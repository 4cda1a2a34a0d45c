// libPellucet.so loaded by name, as its callers load it: the export, the run-time casts across
// the library boundary and the protocol from factory to release.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "sqlite_recovery/framework/CDataContainer.h"
#include "outside/device/CDeviceFolder.h"
#include "contacts/CSwapContact.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/controller/ISQLiteEngine.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/tests/RecordingSink.h"
#include "platform/DynamicLibrary.h"

using SmsAnalyzer = IRecoveryAnalyzer<IDataContainer<_SMS_INFOMATION>, IVirtualDevice>;

namespace {

SmsAnalyzer* CreatePellucet() {
    platform::LibraryHandle library = platform::LoadLibraryW(L"Pellucet.dll");
    if (!library) return nullptr;
    auto create = reinterpret_cast<ICommon* (*)()>(platform::GetProcAddress(library, "CreateObject"));
    ICommon* object = create ? create() : nullptr;
    return dynamic_cast<SmsAnalyzer*>(object);
}

std::string Fixture() {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/sms_fixture/journal";
}

bool HaveEngine() {
    std::unique_ptr<ISQLiteEngine> engine(NewSQLiteEngine());
    return engine != nullptr;
}

}  // namespace

TEST(PellucetLibraryTest, CreatesAnAnalyserThatNeedsADevice) {
    SmsAnalyzer* analyser = CreatePellucet();
    ASSERT_NE(analyser, nullptr);
    EXPECT_EQ(analyser->Initialize(nullptr, nullptr), nullptr);
    analyser->Release();
}

TEST(PellucetLibraryTest, RunsOnTheFixturePhoneWithTheContactsContainer) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(Fixture()));
    CDataContainer<_CONTACT_INFOMATION> contacts;
    auto* lookup = new CSwapContact;
    SwapContactEntry ben;
    ben.live = 1;
    ben.name = "Ben";
    lookup->Add("+15550002", ben, true);
    contacts.SetHelper(lookup);

    RecordingSink sink;
    SmsAnalyzer* analyser = CreatePellucet();
    ASSERT_NE(analyser, nullptr);
    IDataContainer<_SMS_INFOMATION>* container = analyser->Initialize(&device, &sink);
    ASSERT_NE(container, nullptr);
    ResultCode rc = analyser->StartRecovery(&contacts);
    ASSERT_FALSE(sink.records.empty());
    EXPECT_EQ(sink.records.back().state, 3u);
    EXPECT_EQ(sink.records.back().done, 100u);
    if (!HaveEngine()) {
        EXPECT_TRUE(Failed(rc));
        analyser->Release();
        lookup->Release();
        GTEST_SKIP() << "this build has no SQLite engine";
    }
    ASSERT_TRUE(Succeeded(rc));
    bool named = false;
    std::string numbers;
    container->Lock();
    EXPECT_GE(container->Count(), 3);
    for (auto it = container->Begin(); it != container->End(); ++it) {
        ISMSSession* session = it->second.session;
        ASSERT_NE(session, nullptr);
        numbers += std::string(session->GetNumber()) + "=" + session->GetName() + " ";
        // Ben's first spelling is that of a deleted addr row (its _id lost, so it comes first) or the
        // canonical one.
        std::string number = session->GetNumber();
        if (number == "+15550002" || number == "+1 555-0002") {
            EXPECT_STREQ(session->GetName(), "Ben");
            named = true;
        } else {
            EXPECT_STREQ(session->GetName(), "") << number;
        }
    }
    container->Unlock();
    EXPECT_TRUE(named) << numbers;
    analyser->Release();
    lookup->Release();
}
