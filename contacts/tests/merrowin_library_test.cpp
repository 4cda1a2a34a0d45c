// libMerrowin.so loaded by name and driven exactly as the outside caller drives it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "sqlite_recovery/framework/CDataContainer.h"
#include "outside/device/CDeviceFolder.h"
#include "contacts/IContactData.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "contacts/ISwapContact.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "platform/DynamicLibrary.h"
#include "platform/FileSystem.h"

using ContactsAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

namespace {

struct RecordingSink : IProgress {
    std::vector<std::pair<uint32_t, uint64_t>> records;
    int changes = 0;
    void OnProgress(const PROGRESS_INFO* record) override {
        uint32_t state = record->state;  // the record is packed: copy before binding
        uint64_t done = record->done;
        records.emplace_back(state, done);
    }
    void OnDataChanged(int kind) override {
        EXPECT_EQ(kind, 3);
        ++changes;
    }
    int ShouldContinue() override { return 1; }
};

ContactsAnalyzer* CreateAnalyzer() {
    platform::LibraryHandle library = platform::LoadLibraryW(L"Merrowin");
    EXPECT_NE(library, nullptr);
    if (!library) return nullptr;
    using Factory = ICommon* (*)();
    auto create = reinterpret_cast<Factory>(platform::GetProcAddress(library, "CreateObject"));
    EXPECT_NE(create, nullptr);
    ICommon* object = create ? create() : nullptr;
    return dynamic_cast<ContactsAnalyzer*>(object);
}

// The working folders that analysers of this process leave beside the program.
std::vector<std::string> WorkingFolders() {
    std::vector<std::string> names, ours;
    platform::ListDirectory(platform::ParentFolder(platform::GetExecutablePath()), names);
    std::string prefix = "Contact." + std::to_string(getpid()) + ".";
    for (const std::string& name : names)
        if (name.compare(0, prefix.size(), prefix) == 0) ours.push_back(name);
    return ours;
}

class MerrowinLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/rk_merrowin_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        phone_ = name;
        std::ofstream(phone_ + "/device.ini") << "[device]\nversion=4.4\n";
        ASSERT_TRUE(device_.Load(phone_));
    }
    void TearDown() override { std::system(("rm -rf " + phone_).c_str()); }

    std::string phone_;
    CDeviceFolder device_;
};

}  // namespace

TEST_F(MerrowinLibraryTest, ExportsOnlyTheFactory) {
    platform::LibraryHandle library = platform::LoadLibraryW(L"Merrowin.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_NE(platform::GetProcAddress(library, "CreateObject"), nullptr);
    EXPECT_EQ(platform::GetProcAddress(library, "_ZN9CMerrowin6CreateEv"), nullptr);  // hidden
}

TEST_F(MerrowinLibraryTest, WithoutADatabaseTheRunEndsCleanly) {
    ContactsAnalyzer* analyzer = CreateAnalyzer();
    ASSERT_NE(analyzer, nullptr);
    RecordingSink sink;
    EXPECT_EQ(analyzer->Initialize(nullptr, &sink), nullptr);
    IDataContainer<_CONTACT_INFOMATION>* container = analyzer->Initialize(&device_, &sink);
    ASSERT_NE(container, nullptr);

    // The lookup is published through the container's helper.
    auto* concrete = dynamic_cast<CDataContainer<_CONTACT_INFOMATION>*>(container);
    ASSERT_NE(concrete, nullptr);
    ISwapContact* lookup = dynamic_cast<ISwapContact*>(concrete->GetHelper());
    ASSERT_NE(lookup, nullptr);
    SwapContactEntry entry;
    EXPECT_FALSE(lookup->Find("5550101", &entry));

    ResultCode rc = analyzer->StartRecovery(nullptr);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 1u);
    std::vector<std::pair<uint32_t, uint64_t>> expected{{2, 0}, {2, 1}, {3, 100}};
    EXPECT_EQ(sink.records, expected);
    EXPECT_EQ(sink.changes, 0);
    EXPECT_EQ(container->Count(), 0);
    EXPECT_TRUE(WorkingFolders().empty());
    container->Release();  // does nothing: the analyser owns it
    EXPECT_EQ(container->Count(), 0);
    analyzer->Release();
}

namespace {
// Names of the recovered contacts of a run on the device folder at phone.
std::vector<std::string> RecoveredNames(const std::string& phone, ResultCode* rc) {
    CDeviceFolder device;
    EXPECT_TRUE(device.Load(phone));
    ContactsAnalyzer* analyzer = CreateAnalyzer();
    std::vector<std::string> names;
    if (!analyzer) return names;
    IDataContainer<_CONTACT_INFOMATION>* container = analyzer->Initialize(&device, nullptr);
    *rc = analyzer->StartRecovery(nullptr);
    for (auto it = container->Begin(); it != container->End(); ++it) {
        IConactItem* name = it->second.data ? it->second.data->GetName() : nullptr;
        names.push_back(name ? name->GetValue() : "");
        if (name) name->Release();
    }
    analyzer->Release();
    std::sort(names.begin(), names.end());
    return names;
}

std::string SampleDatabase() {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "") + "/sample_phone/fs/data/data/com.android.providers.contacts/databases/contacts2.db";
}
}  // namespace

TEST_F(MerrowinLibraryTest, DatabaseFromTheSecondPlaceWithTheOperationThatWorked) {
    // The first place holds nothing; the second can only be fetched. Its log comes the same way:
    // Jack Jones lives only in the log.
    std::string folder = phone_ + "/fs/data/data/com.motorola.blur.providers.contacts/databases";
    ASSERT_TRUE(platform::CreateDirectories(folder));
    ASSERT_TRUE(platform::CopyFile(SampleDatabase(), folder + "/contacts2.db"));
    ASSERT_TRUE(platform::CopyFile(SampleDatabase() + "-wal", folder + "/contacts2.db-wal"));
    std::ofstream(phone_ + "/device.ini") << "[device]\nversion=4.4\npull=fail\n";
    ResultCode rc = 0;
    std::vector<std::string> names = RecoveredNames(phone_, &rc);
    EXPECT_TRUE(Succeeded(rc));
    EXPECT_EQ(names.size(), 10u);
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "Jack Jones"));
}

TEST_F(MerrowinLibraryTest, ASecondRunKeepsTheFirstRunsRecords) {
    std::string folder = phone_ + "/fs/data/data/com.android.providers.contacts/databases";
    ASSERT_TRUE(platform::CreateDirectories(folder));
    ASSERT_TRUE(platform::CopyFile(SampleDatabase(), folder + "/contacts2.db"));
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(phone_));
    ContactsAnalyzer* analyzer = CreateAnalyzer();
    ASSERT_NE(analyzer, nullptr);
    IDataContainer<_CONTACT_INFOMATION>* container = analyzer->Initialize(&device, nullptr);
    ASSERT_TRUE(Succeeded(analyzer->StartRecovery(nullptr)));
    int first = container->Count();
    EXPECT_GT(first, 5);
    EXPECT_TRUE(Succeeded(analyzer->StartRecovery(nullptr)));
    EXPECT_EQ(container->Count(), first);
    analyzer->Release();  // the sanitizer build sees that nothing is lost
}

TEST_F(MerrowinLibraryTest, DatabaseWithoutItsLogIsOneView) {
    std::string folder = phone_ + "/fs/data/data/com.android.providers.contacts/databases";
    ASSERT_TRUE(platform::CreateDirectories(folder));
    ASSERT_TRUE(platform::CopyFile(SampleDatabase(), folder + "/contacts2.db"));
    ResultCode rc = 0;
    std::vector<std::string> names = RecoveredNames(phone_, &rc);
    EXPECT_TRUE(Succeeded(rc));
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "Alice Anders"));
    EXPECT_FALSE(std::binary_search(names.begin(), names.end(), "Jack Jones"));  // only in the log
}

TEST_F(MerrowinLibraryTest, TwoAnalysersAreIndependent) {
    ContactsAnalyzer* a = CreateAnalyzer();
    ContactsAnalyzer* b = CreateAnalyzer();
    ASSERT_TRUE(a && b);
    IDataContainer<_CONTACT_INFOMATION>* ca = a->Initialize(&device_, nullptr);
    IDataContainer<_CONTACT_INFOMATION>* cb = b->Initialize(&device_, nullptr);
    ASSERT_TRUE(ca && cb);
    EXPECT_NE(ca, cb);
    ICommon* ha = dynamic_cast<CDataContainer<_CONTACT_INFOMATION>*>(ca)->GetHelper();
    ICommon* hb = dynamic_cast<CDataContainer<_CONTACT_INFOMATION>*>(cb)->GetHelper();
    EXPECT_NE(ha, hb);
    EXPECT_TRUE(Failed(a->StartRecovery(nullptr)));  // a null sink is allowed
    delete b;  // the deleting destructor frees as Release does
    a->Release();
}
