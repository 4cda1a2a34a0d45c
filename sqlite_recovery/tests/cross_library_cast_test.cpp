// One library makes the objects, another casts them, as the outside caller casts what a recovery
// library's CreateObject returns: type information must be one across libraries.
#include <gtest/gtest.h>

#include "sqlite_recovery/framework/IDataContainer.h"
#include "sqlite_recovery/framework/ILog.h"
#include "sqlite_recovery/framework/IRecoveryAnalyzer.h"
#include "sqlite_recovery/framework/ItemRecords.h"
#include "sqlite_recovery/framework/IVirtualDevice.h"
#include "platform/DynamicLibrary.h"

namespace {
using ContactAnalyzer = IRecoveryAnalyzer<IDataContainer<_CONTACT_INFOMATION>, IVirtualDevice>;

class CrossLibraryCast : public ::testing::Test {
protected:
    void SetUp() override {
        maker_ = platform::LoadLibraryW(L"RkCastMaker.dll");
        taker_ = platform::LoadLibraryW(L"RkCastTaker");
        ASSERT_NE(maker_, nullptr);
        ASSERT_NE(taker_, nullptr);
        makeAnalyzer = Get<ICommon* (*)()>(maker_, "MakeAnalyzer");
        makeLog = Get<ICommon* (*)()>(maker_, "MakeLog");
        takeAnalyzer = Get<ContactAnalyzer* (*)(ICommon*)>(taker_, "TakeAnalyzer");
        takeLog = Get<ILog* (*)(ICommon*)>(taker_, "TakeLog");
        takeContainer = Get<IDataContainer<_CONTACT_INFOMATION>* (*)(ICommon*)>(taker_, "TakeContainer");
    }
    template <class F>
    static F Get(platform::LibraryHandle library, const char* name) {
        F f = reinterpret_cast<F>(platform::GetProcAddress(library, name));
        EXPECT_NE(f, nullptr) << name;
        return f;
    }

    platform::LibraryHandle maker_ = nullptr;
    platform::LibraryHandle taker_ = nullptr;
    ICommon* (*makeAnalyzer)() = nullptr;
    ICommon* (*makeLog)() = nullptr;
    ContactAnalyzer* (*takeAnalyzer)(ICommon*) = nullptr;
    ILog* (*takeLog)(ICommon*) = nullptr;
    IDataContainer<_CONTACT_INFOMATION>* (*takeContainer)(ICommon*) = nullptr;
};
}  // namespace

TEST_F(CrossLibraryCast, AnalyzerTemplateInterfaceCastsInTheOtherLibrary) {
    ICommon* object = makeAnalyzer();
    ASSERT_NE(object, nullptr);
    ContactAnalyzer* analyzer = takeAnalyzer(object);
    ASSERT_NE(analyzer, nullptr);
    EXPECT_EQ(takeLog(object), nullptr);  // and to nothing it is not
    IDataContainer<_CONTACT_INFOMATION>* box = analyzer->Initialize(nullptr, nullptr);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(takeContainer(box), box);
    EXPECT_EQ(dynamic_cast<ContactAnalyzer*>(object), analyzer);  // and in this program
    EXPECT_TRUE(Failed(analyzer->StartRecovery(nullptr)));
    object->Release();
}

TEST_F(CrossLibraryCast, LoggerInterfaceCastsInTheOtherLibrary) {
    ICommon* object = makeLog();
    ILog* log = takeLog(object);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(takeAnalyzer(object), nullptr);
    log->Log("%s", "one line");
    delete object;  // the deleting destructor frees it as Release does
}

TEST_F(CrossLibraryCast, NullCastsToNull) {
    EXPECT_EQ(takeAnalyzer(nullptr), nullptr);
    EXPECT_EQ(takeLog(nullptr), nullptr);
}
