#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <fstream>
#include <map>
#include <sstream>

#include "sqlite_recovery/controller/CBaseAnalyzer.h"
#include "outside/device/CDeviceFolder.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/tests/RecordingSink.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

namespace {

using ResultMap = std::map<int, std::string>;
using Analyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

// A recovery object whose result is given by the test; it reports the controller's progress.
struct FakeRecovery : IAndroidRecovery<ResultMap> {
    ResultMap result;
    ResultCode recoverResult = RK_OK;
    ResultCode initResult = RK_OK;
    IProgress* sink = nullptr;
    std::wstring path;
    VersionPair version;
    bool* released;
    VersionPair* versionOut = nullptr;

    explicit FakeRecovery(bool* releasedFlag) : released(releasedFlag) {}
    ResultCode Initialize(const wchar_t* databasePath, const VersionPair* v, ICommon*, IProgress* s) override {
        path = databasePath;
        version = *v;
        if (versionOut) *versionOut = *v;
        sink = s;
        return initResult;
    }
    ResultCode Uninitialize() override { return RK_OK; }
    void Release() override {
        *released = true;
        delete this;
    }
    ResultCode Recover() override {
        if (sink) {
            PROGRESS_INFO p{};
            p.state = 2;
            p.total = 100;
            p.done = 40;
            sink->OnProgress(&p);
            p.done = 80;
            sink->OnProgress(&p);
        }
        return recoverResult;
    }
    ResultMap* GetResult() override { return &result; }
};

class TestAnalyzer : public CBaseAnalyzer<Analyzer, ResultMap, CDataContainer<_CONTACT_INFOMATION>> {
public:
    ResultMap result{{1, "<contact>Ann</contact>"}, {2, "<contact>Bob</contact>"}, {3, ""}};
    ResultCode recoverResult = RK_OK;
    bool recoveryReleased = false;
    std::wstring pulledFrom;
    std::vector<std::wstring> roots;
    std::wstring folderDuringRun;
    bool lockedDuringChange = false;
    FakeRecovery* recovery = nullptr;

    std::wstring SaveFolderName() const override { return L"Contact"; }
    std::vector<std::wstring> WorkingRoots() const override {
        return roots.empty() ? WorkingFolderRoots() : roots;
    }
    std::wstring PullDatabase() override {
        folderDuringRun = SaveFolder();
        std::wstring local = PullFirstCandidate({L"/data/data/com.android.providers.contacts/databases/contacts2.db",
                                                 L"/dbdata/databases/com.android.providers.contacts/contacts2.db"},
                                                L"contacts2.db");
        walCopied = platform::FileSize(platform::WideToUtf8(local + L"-wal")) > 0;
        return local;
    }
    bool walCopied = false;
    VersionPair seenVersion{0, 0};
    IAndroidRecovery<ResultMap>* NewAndroidRecovery() override {
        recovery = new FakeRecovery(&recoveryReleased);
        recovery->versionOut = &seenVersion;
        recovery->result = result;
        recovery->recoverResult = recoverResult;
        return recovery;
    }
    bool MakeRecordData(const char* xmlText, _CONTACT_INFOMATION* record) override {
        if (!*xmlText) return false;
        record->data = reinterpret_cast<IContactData*>(0x1000 + record->id);
        return true;
    }
    int DataChangedKind() const override { return DATA_KIND_CONTACTS; }
    void ProcessEntry(Entry entry) override { AddItem(entry->second.c_str(), NextItemId()); }
    bool RemoveSaveFolder() override {
        bool removed = CBaseAnalyzer::RemoveSaveFolder();
        return removed && !failRemoval;
    }
    bool failRemoval = false;
};

class BaseAnalyzerTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rk_base_analyzer_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        temp_ = pattern;
        logPath_ = temp_ + "/log.txt";
        setenv("RELIKORDA_LOG", logPath_.c_str(), 1);
    }
    void TearDown() override {
        unsetenv("RELIKORDA_LOG");
        std::system(("rm -rf '" + temp_ + "'").c_str());
    }
    // A device folder with a contacts database (and its log) at the given device path.
    std::string MakeDevice(const std::string& devicePath, const std::string& ini = "", bool withLog = true) {
        std::string root = temp_ + "/device";
        std::string file = root + "/fs" + devicePath;
        EXPECT_TRUE(platform::CreateDirectories(platform::ParentFolder(file)));
        std::ofstream(file) << "database bytes";
        // The device copies a log only as far as its frames check: a real one, copied by sqlite3
        // while its connection still holds it.
        const std::string makeLog = "cd '" + temp_ + "' && printf 'PRAGMA journal_mode=WAL;\\nPRAGMA wal_autocheckpoint=0;"
                                    "\\nCREATE TABLE t(x);\\n.shell cp w.db-wal \"" + file + "-wal\"\\n' | sqlite3 w.db";
        if (withLog) {
            EXPECT_EQ(std::system((makeLog + " >/dev/null").c_str()), 0);
        }
        std::ofstream(root + "/device.ini") << "[device]\nversion=4.4\n" << ini;
        return root;
    }
    std::string Log() {
        std::ifstream in(logPath_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static bool Exists(const std::wstring& path) {
        return platform::GetEntryKind(platform::WideToUtf8(path)) != platform::EntryKind::Missing;
    }
    std::string temp_, logPath_;
};

}  // namespace

TEST_F(BaseAnalyzerTest, CompleteRunReportsItsStepsAndCleansUp) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/data/data/com.android.providers.contacts/databases/contacts2.db")));
    RecordingSink sink;
    auto* analyzer = new TestAnalyzer();
    IDataContainer<_CONTACT_INFOMATION>* box = analyzer->Initialize(&device, &sink);
    ASSERT_NE(box, nullptr);
    ResultCode rc = analyzer->StartRecovery(nullptr);
    EXPECT_EQ(rc, RK_OK);
    EXPECT_EQ(sink.Done(), (std::vector<uint64_t>{0, 1, 5, 40, 80, 85, 100}));
    EXPECT_EQ(sink.records.back().state, 3u);
    for (size_t i = 0; i + 1 < sink.records.size(); ++i) EXPECT_EQ(sink.records[i].state, 2u);
    // Two entries became records 0 and 1; the third could not be made into a data object.
    EXPECT_EQ(box->Count(), 2);
    EXPECT_EQ(sink.changes, (std::vector<int>{3, 3}));
    EXPECT_TRUE(box->Contains(0));
    EXPECT_TRUE(box->Contains(1));
    EXPECT_NE(Log().find("Create node failed."), std::string::npos);
    // The database and its log were pulled into the analyser's own folder, which is gone now.
    EXPECT_EQ(analyzer->DatabasePath(), analyzer->folderDuringRun + L"/contacts2.db");
    EXPECT_TRUE(analyzer->walCopied);
    EXPECT_FALSE(analyzer->folderDuringRun.empty());
    EXPECT_FALSE(Exists(analyzer->SaveFolder()));
    EXPECT_TRUE(analyzer->recoveryReleased);
    analyzer->Release();
}

TEST_F(BaseAnalyzerTest, DataChangedIsReportedWhileTheContainerIsLocked) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/data/data/com.android.providers.contacts/databases/contacts2.db")));
    RecordingSink sink;
    TestAnalyzer analyzer;
    analyzer.Initialize(&device, &sink);
    // The consumer's thread must wait while the analyser reports (the lock is re-entrant, so it
    // is probed from another thread).
    std::vector<std::thread> consumers;
    std::vector<bool> lockedSeen;
    std::atomic<int> acquired{0};
    sink.onChange = [&](int) {
        int before = acquired.load();
        consumers.emplace_back([&] {
            analyzer.Container()->Lock();
            ++acquired;
            analyzer.Container()->Unlock();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        lockedSeen.push_back(acquired.load() == before);
    };
    analyzer.StartRecovery(nullptr);
    for (std::thread& t : consumers) t.join();
    EXPECT_EQ(acquired.load(), 2);
    EXPECT_EQ(lockedSeen, (std::vector<bool>{true, true}));
}

TEST_F(BaseAnalyzerTest, PullFailureEndsWithErrorOneAndTheFinishedRecord) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/data/data/com.android.providers.contacts/databases/contacts2.db",
                                       "pull=fail\nfetch=fail\n")));
    RecordingSink sink;
    TestAnalyzer analyzer;
    ASSERT_NE(analyzer.Initialize(&device, &sink), nullptr);
    ResultCode rc = analyzer.StartRecovery(nullptr);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(ErrorNumber(rc), 1u);
    EXPECT_EQ(sink.Done(), (std::vector<uint64_t>{0, 1, 100}));
    EXPECT_EQ(sink.records.back().state, 3u);
    EXPECT_NE(Log().find("GetDatabaseFile failed."), std::string::npos);
    EXPECT_FALSE(analyzer.folderDuringRun.empty());
    EXPECT_FALSE(Exists(analyzer.folderDuringRun));
    EXPECT_EQ(analyzer.Container()->Count(), 0);
}

TEST_F(BaseAnalyzerTest, RecoveryFailureStillCleansUp) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/dbdata/databases/com.android.providers.contacts/contacts2.db", "pull=fail\n")));
    RecordingSink sink;
    TestAnalyzer analyzer;
    analyzer.recoverResult = RK_FAIL(RK_E_CANCELLED);
    analyzer.Initialize(&device, &sink);
    ResultCode rc = analyzer.StartRecovery(nullptr);
    EXPECT_EQ(ErrorNumber(rc), 13u);
    EXPECT_EQ(sink.Done(), (std::vector<uint64_t>{0, 1, 5, 40, 80, 100}));
    EXPECT_NE(Log().find("Analyze database failed."), std::string::npos);
    EXPECT_TRUE(analyzer.recoveryReleased);
    EXPECT_FALSE(Exists(analyzer.folderDuringRun));
    EXPECT_EQ(analyzer.Container()->Count(), 0);
    // The second path was fetched, and its log with the same operation.
    EXPECT_EQ(analyzer.DatabasePath(), analyzer.folderDuringRun + L"/contacts2.db");
    EXPECT_TRUE(analyzer.walCopied);
    EXPECT_EQ(analyzer.seenVersion.major, 4);  // the device's version, handed on
    EXPECT_EQ(analyzer.seenVersion.minor, 4);
}

TEST_F(BaseAnalyzerTest, NullDeviceNullSinkAndEmptyResult) {
    TestAnalyzer unbound;
    EXPECT_EQ(unbound.Initialize(nullptr, nullptr), nullptr);
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/data/data/com.android.providers.contacts/databases/contacts2.db", "", false)));
    TestAnalyzer quiet;
    quiet.result.clear();
    ASSERT_NE(quiet.Initialize(&device, nullptr), nullptr);
    EXPECT_EQ(quiet.StartRecovery(nullptr), RK_OK);
    EXPECT_EQ(quiet.Container()->Count(), 0);
    EXPECT_FALSE(quiet.walCopied);  // a device without the log: one view, a complete run
    EXPECT_TRUE(quiet.recoveryReleased);
    EXPECT_FALSE(Exists(quiet.folderDuringRun));
}

TEST_F(BaseAnalyzerTest, TwoAnalysersUseSeparateFoldersAndAnUnwritableRootFallsBack) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/data/data/com.android.providers.contacts/databases/contacts2.db")));
    std::wstring blocked = platform::Utf8ToWide(temp_ + "/blocked");
    std::ofstream(temp_ + "/blocked") << "a file, so no folder can be made below it";
    std::wstring fallback = platform::Utf8ToWide(temp_ + "/cache");
    TestAnalyzer first, second;
    first.roots = second.roots = {blocked + L"/sub", fallback};
    first.Initialize(&device, nullptr);
    second.Initialize(&device, nullptr);
    ASSERT_EQ(first.PrepareSaveDir(), RK_OK);
    ASSERT_EQ(second.PrepareSaveDir(), RK_OK);
    EXPECT_NE(first.SaveFolder(), second.SaveFolder());
    EXPECT_EQ(first.SaveFolder().compare(0, fallback.size(), fallback), 0);
    EXPECT_TRUE(Exists(first.SaveFolder()));
    EXPECT_TRUE(Exists(second.SaveFolder()));
    EXPECT_EQ(second.StartRecovery(nullptr), RK_OK);
    EXPECT_TRUE(Exists(first.SaveFolder()));  // the other analyser's copy is left alone
    // No place at all for a working folder.
    TestAnalyzer nowhere;
    nowhere.roots = {blocked + L"/sub"};
    nowhere.Initialize(&device, nullptr);
    EXPECT_EQ(ErrorNumber(nowhere.StartRecovery(nullptr)), 1u);
    EXPECT_NE(Log().find("Create directory failed."), std::string::npos);
}

TEST_F(BaseAnalyzerTest, AFolderThatCannotBeDeletedIsLogged) {
    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/data/data/com.android.providers.contacts/databases/contacts2.db")));
    RecordingSink sink;
    TestAnalyzer analyzer;
    analyzer.failRemoval = true;
    analyzer.Initialize(&device, &sink);
    EXPECT_EQ(analyzer.StartRecovery(nullptr), RK_OK);
    EXPECT_NE(Log().find("Delete directory failed: " + platform::WideToUtf8(analyzer.folderDuringRun)), std::string::npos);
    EXPECT_EQ(sink.records.back().state, 3u);
}

TEST_F(BaseAnalyzerTest, WorkingFoldersArePrivateTemporaryOnesAndAKilledRunsAreRemovedAtTheNextStart) {
    // The default place is the system's temporary folder, here one of the test's own.
    const std::string tmp = temp_ + "/tmp";
    ASSERT_TRUE(platform::CreateDirectory(tmp));
    setenv("TMPDIR", tmp.c_str(), 1);
    ASSERT_EQ(WorkingFolderRoots(), std::vector<std::wstring>{platform::Utf8ToWide(tmp)});

    // What killed runs left: a process that has ended, and one still running (this one).
    const pid_t child = fork();
    if (child == 0) _exit(0);
    ASSERT_GT(child, 0);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::string dead = tmp + "/relikorda-Contact." + std::to_string(child) + ".abcdef";
    const std::string alive = tmp + "/relikorda-Contact." + std::to_string(getpid()) + ".ghijkl";
    const std::string linked = tmp + "/relikorda-Contact." + std::to_string(child) + ".link00";
    const std::string other = tmp + "/not-ours." + std::to_string(child) + ".abcdef";
    for (const std::string& folder : {dead, alive, other}) ASSERT_TRUE(platform::CreateDirectories(folder + "/inner"));
    std::ofstream(dead + "/inner/contacts2.db") << "a copy";
    ASSERT_EQ(symlink(other.c_str(), linked.c_str()), 0);

    CDeviceFolder device;
    ASSERT_TRUE(device.Load(MakeDevice("/data/data/com.android.providers.contacts/databases/contacts2.db")));
    TestAnalyzer analyzer;
    analyzer.Initialize(&device, nullptr);
    ASSERT_EQ(analyzer.PrepareSaveDir(), RK_OK);
    const std::string made = platform::WideToUtf8(analyzer.SaveFolder());
    EXPECT_EQ(made.compare(0, tmp.size() + 19, tmp + "/relikorda-Contact."), 0) << made;
    struct stat st;
    ASSERT_EQ(lstat(made.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_FALSE(platform::EntryExists(dead));
    EXPECT_TRUE(platform::EntryExists(alive));
    EXPECT_TRUE(platform::EntryExists(linked));  // a link is never taken for a working folder
    EXPECT_TRUE(platform::EntryExists(other + "/inner"));
    EXPECT_NE(Log().find("Removed the working folder " + dead), std::string::npos);

    // The run's own folder goes at its end; one prepared but never run goes with the analyser.
    EXPECT_EQ(analyzer.StartRecovery(nullptr), RK_OK);
    EXPECT_FALSE(platform::EntryExists(platform::WideToUtf8(analyzer.folderDuringRun)));
    std::string unfinishedFolder;
    {
        TestAnalyzer unfinished;
        unfinished.Initialize(&device, nullptr);
        ASSERT_EQ(unfinished.PrepareSaveDir(), RK_OK);
        unfinishedFolder = platform::WideToUtf8(unfinished.SaveFolder());
        EXPECT_TRUE(platform::EntryExists(unfinishedFolder));
    }
    EXPECT_FALSE(platform::EntryExists(unfinishedFolder));
    unsetenv("TMPDIR");
}
