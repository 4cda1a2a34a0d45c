// Quarnet as a person runs it: from its folder, with or without the two libraries beside it.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/FileSystem.h"

namespace {

struct Result {
    int code = -1;
    std::string out;
};

Result RunCommand(const std::string& command) {
    Result result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
    int status = pclose(pipe);
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string TestData(const std::string& name) {
    const char* root = std::getenv("RK_TESTDATA");
    return std::string(root ? root : "testdata") + "/" + name;
}

class QuarnetTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rk_quarnet_XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        root_ = pattern;
        ASSERT_TRUE(platform::CopyFile(RK_QUARNET, root_ + "/Quarnet"));
        ASSERT_EQ(std::system(("chmod +x '" + root_ + "/Quarnet'").c_str()), 0);
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }

    std::string root_;
};

const char kPrompt[] = "Press any key to exit...\n";

}  // namespace

TEST_F(QuarnetTest, WithoutLibrariesItOnlyPrompts) {
    Result run = RunCommand("cd '" + root_ + "' && QUARNET_DEVICE='" + TestData("sms_fixture/journal") +
                     "' ./Quarnet < /dev/null 2>/dev/null");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, kPrompt);
    run = RunCommand("cd '" + root_ + "' && printf 'x\\n' | ./Quarnet 2>/dev/null");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, kPrompt);
}

TEST_F(QuarnetTest, OnlyTheSmsLibraryRunsWithoutContacts) {
    ASSERT_TRUE(platform::CopyFile(RK_PELLUCET, root_ + "/libPellucet.so"));
    Result run = RunCommand("cd '" + root_ + "' && QUARNET_DEVICE='" + TestData("sms_fixture/journal") +
                     "' ./Quarnet < /dev/null 2>/dev/null");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.find("Merrowin"), std::string::npos);
    EXPECT_EQ(run.out.find("Pellucet: "), 0u) << run.out;
    EXPECT_NE(run.out.find(kPrompt), std::string::npos);
}

TEST(QuarnetBuiltTest, RunsBothLibrariesOnTheSamplePhone) {
    // From the build's program folder, where both libraries and the sample phone's path are.
    Result run = RunCommand(std::string("'") + RK_QUARNET + "' < /dev/null 2>/dev/null");
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.find("Merrowin: "), 0u) << run.out;
    EXPECT_NE(run.out.find("\nPellucet: "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(kPrompt), std::string::npos);
}
