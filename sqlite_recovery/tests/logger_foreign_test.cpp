// Runs in a folder whose libLog.so hands out an object that is no ILog.
#include <gtest/gtest.h>

#include "sqlite_recovery/framework/Logger.h"
#include "platform/DynamicLibrary.h"

TEST(LoggerTest, ObjectThatIsNoILogGivesNullAndEveryCallTriesAgain) {
    int evaluated = 0;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(GetLog(), nullptr);
        RK_LOG("never written %d", ++evaluated);
    }
    EXPECT_EQ(evaluated, 0);

    platform::LibraryHandle library = platform::LoadLibraryW(L"Log.dll");
    ASSERT_NE(library, nullptr);
    auto created = reinterpret_cast<int (*)()>(platform::GetProcAddress(library, "ForeignLogCreated"));
    auto released = reinterpret_cast<int (*)()>(platform::GetProcAddress(library, "ForeignLogReleased"));
    ASSERT_NE(created, nullptr);
    ASSERT_NE(released, nullptr);
    EXPECT_EQ(created(), 8);   // once for each of the eight lookups above
    EXPECT_EQ(released(), 8);  // a refused object is not leaked
}
