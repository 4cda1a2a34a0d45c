// Runs alone in its own folder: GetLog looks for libLog.so beside this program.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "sqlite_recovery/framework/Logger.h"
#include "platform/FileSystem.h"

namespace {
std::string Beside(const std::string& name) {
    return platform::JoinPath(platform::ParentFolder(platform::GetExecutablePath()), name);
}
std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
}  // namespace

TEST(LoggerTest, AbsentLibrarySkipsEveryCallUntilItAppearsBesideTheProgram) {
    const std::string library = Beside("libLog.so");
    const std::string captured = Beside("logger_absent.log");
    platform::DeleteFile(library);
    platform::DeleteFile(captured);
    ASSERT_EQ(setenv("RELIKORDA_LOG", captured.c_str(), 1), 0);

    int evaluated = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(GetLog(), nullptr);
        RK_LOG("never written %d", ++evaluated);  // skipped whole: the arguments are not evaluated
    }
    EXPECT_EQ(evaluated, 0);
    EXPECT_EQ(platform::FileSize(captured), -1);

    // The next call looks again and finds it.
    ASSERT_TRUE(platform::CopyFile(RK_REAL_LOG_LIBRARY, library));
    ILog* log = GetLog();
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(GetLog(), log);
    RK_LOG("GetDatabaseFile failed.");
    RK_LOG("line %d of %s\n", 2, "two");
    EXPECT_EQ(ReadAll(captured), "GetDatabaseFile failed.\nline 2 of two\n");

    // Loaded once, the logger stays even when the file goes.
    platform::DeleteFile(library);
    EXPECT_EQ(GetLog(), log);
    platform::DeleteFile(captured);
}
