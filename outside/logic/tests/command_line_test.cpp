#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <unistd.h>

#include "outside/logic/CommandLine.h"
#include "platform/FileSystem.h"

namespace {
bool Parse(std::vector<const char*> args, CommandLine& line, std::string& error) {
    args.insert(args.begin(), "relikorda-recover");
    return ParseCommandLine(static_cast<int>(args.size()), args.data(), line, error);
}
}  // namespace

TEST(CommandLineTest, BothOptionsInEitherFormAndOrder) {
    CommandLine line;
    std::string error;
    ASSERT_TRUE(Parse({"--device", "phone", "--out", "dest"}, line, error));
    EXPECT_EQ(line.device, "phone");
    EXPECT_EQ(line.out, "dest");
    ASSERT_TRUE(Parse({"--out=a b", "--device=/dev/sdz"}, line, error));
    EXPECT_EQ(line.device, "/dev/sdz");
    EXPECT_EQ(line.out, "a b");
    ASSERT_TRUE(Parse({"--device", "x", "--help"}, line, error));
    EXPECT_TRUE(line.help);
}

TEST(CommandLineTest, EveryMistakeIsNamed) {
    CommandLine line;
    std::string error;
    EXPECT_FALSE(Parse({}, line, error));
    EXPECT_EQ(error, "--device is missing");
    EXPECT_FALSE(Parse({"--device", "p"}, line, error));
    EXPECT_EQ(error, "--out is missing");
    EXPECT_FALSE(Parse({"--device", "p", "--out"}, line, error));
    EXPECT_EQ(error, "--out needs a value");
    EXPECT_FALSE(Parse({"--device=", "--out", "o"}, line, error));
    EXPECT_EQ(error, "--device needs a value");
    EXPECT_FALSE(Parse({"--device", "p", "--device", "q", "--out", "o"}, line, error));
    EXPECT_EQ(error, "--device is given twice");
    EXPECT_FALSE(Parse({"--device", "p", "--out", "o", "extra"}, line, error));
    EXPECT_EQ(error, "unknown argument extra");
    EXPECT_FALSE(Parse({"-device", "p"}, line, error));
    EXPECT_EQ(error, "unknown argument -device");
}

TEST(CommandLineTest, AbsolutePathResolvesLinksOfWhatExistsAndDotsOfTheRest) {
    char pattern[] = "/tmp/rk_cli_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string base = pattern;
    ASSERT_TRUE(platform::CreateDirectories(base + "/real/inner"));
    ASSERT_EQ(symlink((base + "/real").c_str(), (base + "/link").c_str()), 0);

    EXPECT_EQ(AbsolutePath(base + "/link/inner"), base + "/real/inner");
    EXPECT_EQ(AbsolutePath(base + "/link/new/deeper"), base + "/real/new/deeper");
    EXPECT_EQ(AbsolutePath(base + "/link/new/../other/./x"), base + "/real/other/x");
    EXPECT_EQ(AbsolutePath(base + "//real///inner/"), base + "/real/inner");
    EXPECT_EQ(AbsolutePath("/"), "/");
    EXPECT_EQ(AbsolutePath(""), "");
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir((base + "/link").c_str()), 0);
    EXPECT_EQ(AbsolutePath("inner/x"), base + "/real/inner/x");
    EXPECT_EQ(AbsolutePath(".."), base);
    ASSERT_EQ(chdir(cwd), 0);

    platform::DeleteFile(base + "/link");
    platform::RemoveDirectory(base + "/real/inner");
    platform::RemoveDirectory(base + "/real");
    platform::RemoveDirectory(base);
}

TEST(CommandLineTest, InsideMeansTheFolderOrBelowIt) {
    EXPECT_TRUE(IsSameOrInside("/a/b", "/a/b"));
    EXPECT_TRUE(IsSameOrInside("/a/b/c", "/a/b"));
    EXPECT_FALSE(IsSameOrInside("/a/bc", "/a/b"));
    EXPECT_FALSE(IsSameOrInside("/a", "/a/b"));
    EXPECT_TRUE(IsSameOrInside("/anything", "/"));
    EXPECT_FALSE(IsSameOrInside("", "/a"));
}

// Another name of a folder inside the tree, whatever gives it: a link, a bind mount (root only).
TEST(CommandLineTest, InsideSeesThroughLinksAndBindMountsOfFoldersInTheTree) {
    char pattern[] = "/tmp/rk_inside_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string base = pattern, phone = base + "/phone";
    for (const char* folder : {"/phone", "/phone/fs", "/phone/fs/data", "/phone/fs/data/db", "/phone/fs/loop",
                               "/phone/fs/card", "/other", "/inner", "/beside", "/twice", "/card"})
        ASSERT_TRUE(platform::CreateDirectory(base + folder)) << folder;
    ASSERT_EQ(symlink((phone + "/fs/data").c_str(), (base + "/link").c_str()), 0);
    // A link in the tree that leads out of it takes nothing outside into it.
    ASSERT_EQ(symlink((base + "/other").c_str(), (phone + "/fs/out").c_str()), 0);
    EXPECT_TRUE(IsSameOrInside(base + "/link/o", phone));
    EXPECT_TRUE(IsSameOrInside(base + "/link", phone));
    EXPECT_FALSE(IsSameOrInside(base + "/other/o", phone));
    EXPECT_FALSE(IsSameOrInside(phone + "/fs/out/o", phone + "/fs/data"));
    EXPECT_FALSE(IsSameOrInside(base + "/phone-copy/o", phone));

    // Bind mounts of a folder inside the tree, of one outside it, of the tree into itself; a file
    // system mounted inside the tree (a card) and a folder of it bound elsewhere.
    const std::vector<std::string> steps = {
        "mount --bind '" + phone + "/fs/data' '" + base + "/inner'",
        "mount --bind '" + base + "/other' '" + base + "/beside'",
        "mount --bind '" + phone + "' '" + phone + "/fs/loop'",
        "mount --bind '" + phone + "/fs/data/db' '" + base + "/twice'",
        "mount -t tmpfs -o size=64k tmpfs '" + phone + "/fs/card'",
        "mkdir '" + phone + "/fs/card/DCIM' && mount --bind '" + phone + "/fs/card/DCIM' '" + base + "/card'"};
    const std::vector<std::string> points = {base + "/inner", base + "/beside", phone + "/fs/loop", base + "/twice",
                                             phone + "/fs/card", base + "/card"};
    size_t mounted = 0;
    while (mounted < steps.size() && std::system((steps[mounted] + " 2>/dev/null").c_str()) == 0) ++mounted;
    const bool all = mounted == steps.size();
    if (all) {
        EXPECT_TRUE(IsSameOrInside(base + "/inner/o", phone));
        EXPECT_TRUE(IsSameOrInside(base + "/inner/db/new/deeper", phone));
        EXPECT_TRUE(IsSameOrInside(base + "/twice", phone));
        EXPECT_TRUE(IsSameOrInside(base + "/card/o", phone));
        EXPECT_FALSE(IsSameOrInside(base + "/card/o", phone + "/fs/data"));
        EXPECT_FALSE(IsSameOrInside(base + "/beside/o", phone));
        EXPECT_FALSE(IsSameOrInside(base + "/other", phone));
    }
    while (mounted > 0) {
        --mounted;
        const std::string point = "'" + points[mounted] + "'";
        EXPECT_EQ(std::system(("umount " + point + " || umount -l " + point).c_str()), 0) << point;
    }
    ASSERT_EQ(std::system(("rm -rf --one-file-system '" + base + "'").c_str()), 0);
    if (!all) GTEST_SKIP() << "mounts are not allowed here: only the links were tried";
}
