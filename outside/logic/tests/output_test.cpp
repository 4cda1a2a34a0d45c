#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "outside/logic/ConsoleProgressDisplay.h"
#include "outside/logic/OutputFolder.h"
#include "platform/FileSystem.h"

namespace {

class OutputTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/rk_output_XXXXXX";
        ASSERT_TRUE(mkdtemp(pattern));
        root_ = pattern;
    }
    void TearDown() override { std::system(("rm -rf '" + root_ + "'").c_str()); }
    std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string root_;
};

}  // namespace

TEST_F(OutputTest, EachRunGetsANewFolderNamedByItsStart) {
    platform::SystemTime start{2024, 3, 0, 9, 7, 5, 3, 0};
    std::string reason;
    std::string base = root_ + "/out/deeper";
    EXPECT_EQ(MakeRunFolder(base, start, &reason), base + "/2024-03-09-07-05-03");
    EXPECT_EQ(MakeRunFolder(base, start, &reason), base + "/2024-03-09-07-05-03-2");
    // A link where the next name would be is skipped, never entered.
    ASSERT_EQ(symlink(root_.c_str(), (base + "/2024-03-09-07-05-03-3").c_str()), 0);
    EXPECT_EQ(MakeRunFolder(base, start, &reason), base + "/2024-03-09-07-05-03-4");
    std::ofstream(root_ + "/file") << "x";
    EXPECT_EQ(MakeRunFolder(root_ + "/file", start, &reason), "");
    EXPECT_EQ(reason, "it is not a folder");
}

TEST_F(OutputTest, NothingIsWrittenOverOrThroughWhatIsThere) {
    std::string reason;
    ASSERT_TRUE(WriteNewFile(root_ + "/a.txt", std::string("one"), &reason));
    EXPECT_FALSE(WriteNewFile(root_ + "/a.txt", std::string("two"), &reason));
    EXPECT_EQ(reason, "a file of that name is there");
    EXPECT_EQ(Read(root_ + "/a.txt"), "one");

    ASSERT_EQ(symlink((root_ + "/target").c_str(), (root_ + "/link").c_str()), 0);
    EXPECT_FALSE(WriteNewFile(root_ + "/link", std::string("x"), &reason));
    EXPECT_EQ(reason, "a link is there, and links in the output folder are not followed");
    EXPECT_FALSE(platform::EntryExists(root_ + "/target"));

    // A folder chain is made below the root and through no link.
    EXPECT_TRUE(MakeFoldersBelow(root_, root_ + "/x/y/z", &reason));
    EXPECT_EQ(platform::GetEntryKind(root_ + "/x/y/z"), platform::EntryKind::Directory);
    ASSERT_EQ(symlink("/tmp", (root_ + "/x/l").c_str()), 0);
    EXPECT_FALSE(MakeFoldersBelow(root_, root_ + "/x/l/new", &reason));
    EXPECT_EQ(reason, "cannot make the folder " + root_ + "/x/l: a link is there, and links in the output folder "
                      "are not followed");
    EXPECT_FALSE(MakeFoldersBelow(root_, "/elsewhere/x", &reason));

    // The system's own words for what went wrong, and no half file left.
    EXPECT_FALSE(WriteNewFile(root_ + "/" + std::string(300, 'n'), std::string("x"), &reason));
    EXPECT_EQ(reason, "File name too long");
    ASSERT_TRUE(platform::CreateDirectory(root_ + "/d"));
    EXPECT_FALSE(WriteNewFile(root_ + "/d", std::string("x"), &reason));
    EXPECT_EQ(reason, "a folder of that name is there");
    // The refused writes left nothing behind, under any name.
    std::vector<std::string> names;
    ASSERT_TRUE(platform::ListDirectory(root_, names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "d", "link", "x"}));
}

// A file has its name only once it is whole: until then it is NAME.part (or NAME.part-2 when
// that is taken), which a failure removes and which never replaces what took the name meanwhile.
TEST_F(OutputTest, AFileHasItsNameOnlyWhenFinishedAndAFailedOneIsRemoved) {
    std::ofstream(root_ + "/taken.jpg.part") << "a phone's file";
    OutputFile whole;
    ASSERT_TRUE(whole.Create(root_ + "/taken.jpg"));
    ASSERT_TRUE(whole.Write("abc", 3));
    EXPECT_FALSE(platform::EntryExists(root_ + "/taken.jpg"));
    EXPECT_EQ(Read(root_ + "/taken.jpg.part-2"), "abc");
    ASSERT_TRUE(whole.Finish());
    EXPECT_EQ(Read(root_ + "/taken.jpg"), "abc");
    EXPECT_FALSE(platform::EntryExists(root_ + "/taken.jpg.part-2"));
    EXPECT_EQ(Read(root_ + "/taken.jpg.part"), "a phone's file");

    OutputFile late;
    ASSERT_TRUE(late.Create(root_ + "/late.jpg"));
    ASSERT_EQ(symlink((root_ + "/target").c_str(), (root_ + "/late.jpg").c_str()), 0);
    EXPECT_FALSE(late.Finish());
    EXPECT_EQ(late.Reason(), "a link is there, and links in the output folder are not followed");
    EXPECT_EQ(platform::GetEntryKind(root_ + "/late.jpg"), platform::EntryKind::Link);
    EXPECT_FALSE(platform::EntryExists(root_ + "/late.jpg.part"));

    // A name left to be looked at when the file is finished, which something took meanwhile: the
    // file takes the next name given, and what has the name stays.
    OutputFile moved;
    ASSERT_TRUE(moved.Create(root_ + "/moved.jpg", OutputFile::NameCheck::kAtFinish));
    std::ofstream(root_ + "/moved.jpg") << "theirs";
    ASSERT_TRUE(moved.Write("ours", 4));
    ASSERT_TRUE(moved.Finish([&] { return root_ + "/moved_2.jpg"; }));
    EXPECT_EQ(moved.Path(), root_ + "/moved_2.jpg");
    EXPECT_EQ(Read(root_ + "/moved.jpg"), "theirs");
    EXPECT_EQ(Read(root_ + "/moved_2.jpg"), "ours");
    EXPECT_FALSE(platform::EntryExists(root_ + "/moved.jpg.part"));

    OutputFile file;
    ASSERT_TRUE(file.Create(root_ + "/half"));
    ASSERT_TRUE(file.Write("abc", 3));
    file.Discard();
    EXPECT_FALSE(platform::EntryExists(root_ + "/half"));
    EXPECT_FALSE(platform::EntryExists(root_ + "/half.part"));
    {
        OutputFile dropped;  // never finished
        ASSERT_TRUE(dropped.Create(root_ + "/dropped"));
    }
    EXPECT_FALSE(platform::EntryExists(root_ + "/dropped.part"));
    // Discarding after a refused create never removes what was there.
    std::ofstream(root_ + "/theirs") << "keep";
    OutputFile refused;
    EXPECT_FALSE(refused.Create(root_ + "/theirs"));
    refused.Discard();
    EXPECT_EQ(Read(root_ + "/theirs"), "keep");
}

TEST_F(OutputTest, ProgressAsLinesAndInPlace) {
    std::string linesPath = root_ + "/lines", terminalPath = root_ + "/terminal";
    FILE* lines = std::fopen(linesPath.c_str(), "w");
    FILE* terminal = std::fopen(terminalPath.c_str(), "w");
    ConsoleProgressDisplay asLines(lines, false), inPlace(terminal, true);
    for (double share : {0.0, 0.05, 0.1, 0.15, 0.35, 0.35, 0.99, 1.0}) {
        asLines.Update("media", share);
        inPlace.Update("media", share);
    }
    asLines.Finish("media");
    inPlace.Finish("media");
    std::fclose(lines);
    std::fclose(terminal);
    EXPECT_EQ(Read(linesPath), "media: 10%\nmedia: 30%\nmedia: 90%\nmedia: done\n");
    EXPECT_EQ(Read(terminalPath),
              "\rmedia: 0%\033[K\rmedia: 5%\033[K\rmedia: 10%\033[K\rmedia: 15%\033[K\rmedia: 35%\033[K"
              "\rmedia: 99%\033[K\rmedia: 100%\033[K\rmedia: done\033[K\n");
}

TEST(RemainingTime, JudgedOnlyWhenThereIsEnoughToJudge) {
    EXPECT_EQ(RemainingTimeText(0.5, 10), "about 10 s left");
    EXPECT_EQ(RemainingTimeText(0.25, 30), "about 1 min 30 s left");
    EXPECT_EQ(RemainingTimeText(0.1, 800), "about 2 h 0 min left");
    EXPECT_EQ(RemainingTimeText(0.01, 100), "");  // too little done
    EXPECT_EQ(RemainingTimeText(0.5, 1), "");     // too little time gone
    EXPECT_EQ(RemainingTimeText(1.0, 100), "");
}
