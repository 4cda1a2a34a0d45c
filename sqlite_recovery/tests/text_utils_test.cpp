#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "sqlite_recovery/framework/Base64.h"
#include "sqlite_recovery/framework/FileUtils.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "platform/FileSystem.h"
#include "platform/StringConversion.h"

TEST(TextUtilsTest, PhoneNumberText) {
    EXPECT_TRUE(IsPhoneNumberText("+86 (10) 1234-5678"));
    EXPECT_TRUE(IsPhoneNumberText("N;1*2#"));
    EXPECT_FALSE(IsPhoneNumberText("N.;"));
    EXPECT_FALSE(IsPhoneNumberText(""));
    EXPECT_FALSE(IsPhoneNumberText("12a"));
    EXPECT_FALSE(IsPhoneNumberText(std::string("12\0", 3)));
}

TEST(TextUtilsTest, NormalizeReverseUpperBlank) {
    EXPECT_EQ(NormalizePhoneNumber("+1 (555) 123-45*#"), "+155512345");
    std::string text = "abc";
    ReverseString(text);
    EXPECT_EQ(text, "cba");
    std::string empty;
    ReverseString(empty);
    EXPECT_EQ(empty, "");
    EXPECT_EQ(StringToUpper(""), "");
    EXPECT_EQ(StringToUpper("a\xe9z"), "A\xe9Z");  // bytes >= 0x80 are left alone
    EXPECT_TRUE(IsBlankText(""));
    EXPECT_TRUE(IsBlankText(" \t\r\n"));
    EXPECT_FALSE(IsBlankText(" x "));
    EXPECT_FALSE(IsBlankText("\xa0"));
}

TEST(TextUtilsTest, ContainsNoCase) {
    EXPECT_TRUE(ContainsNoCase("ANN", "Joanne"));
    EXPECT_FALSE(ContainsNoCase("ANN", "Joe"));
    EXPECT_FALSE(ContainsNoCase("ANN", nullptr));
    EXPECT_TRUE(ContainsNoCase(nullptr, "x"));
}

TEST(TextUtilsTest, EmailAddresses) {
    EXPECT_TRUE(IsEmailAddress("a@b.c"));
    EXPECT_TRUE(IsEmailAddress("abc@example.com"));
    EXPECT_TRUE(IsEmailAddress("x@y.co.uk"));
    EXPECT_TRUE(IsEmailAddress("first.last@example.com"));
    EXPECT_TRUE(IsEmailAddress("name@mail.example.com"));
    EXPECT_FALSE(IsEmailAddress("@b.c"));
    EXPECT_FALSE(IsEmailAddress("abc"));
    EXPECT_FALSE(IsEmailAddress("a@.bc"));
    EXPECT_FALSE(IsEmailAddress("a@bc"));
    EXPECT_FALSE(IsEmailAddress("a.b@cd"));
    EXPECT_FALSE(IsEmailAddress("a@b..com"));
    EXPECT_FALSE(IsEmailAddress("a@b.c@d.e"));
    EXPECT_FALSE(IsEmailAddress("a@b.museum"));
    EXPECT_TRUE(IsEmailAddress(std::string(120, 'a') + "@b.com"));  // 126 bytes is fine ...
    EXPECT_TRUE(IsEmailAddress(std::string(118, 'a') + "@bc.com"));
    EXPECT_FALSE(IsEmailAddress(std::string(122, 'a') + "@bc.com"));  // ... 129 is not
}

TEST(TextUtilsTest, SplitString) {
    EXPECT_EQ(SplitString("a,,b,", ","), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitString("1 2", " "), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(SplitString("abc", ";"), (std::vector<std::string>{"abc"}));
    EXPECT_TRUE(SplitString("", ",").empty());
    EXPECT_EQ(SplitString("a::b", "::"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SplitString("abc", ""), (std::vector<std::string>{"abc"}));
}

TEST(TextUtilsTest, SkipValidUtf8) {
    const char good[] = "\xC3\xA9\x41";
    EXPECT_EQ(SkipValidUtf8(good), good + 3);
    const char overlong[] = "\xC0\x80";
    EXPECT_EQ(SkipValidUtf8(overlong), overlong);
    const char nonchar[] = "\xEF\xBF\xBE";
    EXPECT_EQ(SkipValidUtf8(nonchar), nonchar);
    const char surrogate[] = "a\xED\xA0\x80";
    EXPECT_EQ(SkipValidUtf8(surrogate), surrogate + 1);
    const char truncated[] = "ab\xE4\xB8";
    EXPECT_EQ(SkipValidUtf8(truncated), truncated + 2);
    const char four[] = "\xF0\x9F\x98\x80x";
    EXPECT_EQ(SkipValidUtf8(four), four + 5);
    const char fdd0[] = "\xEF\xB7\x90";
    EXPECT_EQ(SkipValidUtf8(fdd0), fdd0);
    EXPECT_EQ(SkipValidUtf8("\xC3\xA9\xC3", 3), 2u);  // counted form stops at the buffer end
    // Long texts, read eight bytes at a time where they are ASCII: the fault is found wherever it
    // lies in or after such a run, and a valid sequence does not end the run.
    for (size_t at : {size_t{0}, size_t{7}, size_t{8}, size_t{9}, size_t{16}, size_t{23}}) {
        std::string text = std::string(at, 'a') + "\xC3\xA9" + std::string(20, 'b');
        EXPECT_EQ(SkipValidUtf8(text.data(), text.size()), text.size()) << at;
        text[at + 1] = 'x';  // a lead byte without its continuation
        EXPECT_EQ(SkipValidUtf8(text.data(), text.size()), at) << at;
        EXPECT_EQ(SkipValidUtf8(text.data(), at + 1), at) << at;  // cut by the buffer's end
    }
}

TEST(Base64Test, SeventyTwoCharacterLines) {
    EXPECT_EQ(Base64Encode("a", 1), "YQ==");
    EXPECT_EQ(Base64Encode("ab", 2), "YWI=");
    EXPECT_EQ(Base64Encode("", 0), "");
    std::string bytes(54, 'a');  // exactly 72 characters: one full line
    std::string encoded = Base64Encode(bytes.data(), bytes.size());
    EXPECT_EQ(encoded.size(), 73u);
    EXPECT_EQ(encoded.back(), '\n');
    std::string longer(100, 'z');
    encoded = Base64Encode(longer.data(), longer.size());
    EXPECT_EQ(encoded.find('\n'), 72u);
    EXPECT_EQ(encoded.find('\n', 73), std::string::npos);
    std::vector<unsigned char> back = Base64Decode(encoded);
    EXPECT_EQ(std::string(back.begin(), back.end()), longer);
    EXPECT_LE(encoded.size() + 1, Base64EncodedSize(longer.size()));
}

TEST(Base64Test, DecodeSkipsForeignCharactersAndKeepsCompleteBytes) {
    std::vector<unsigned char> out = Base64Decode("YW\n Jj*ZA==");
    EXPECT_EQ(std::string(out.begin(), out.end()), "abcd");
    out = Base64Decode("YWJjZ");  // a final partial group gives only complete bytes
    EXPECT_EQ(std::string(out.begin(), out.end()), "abc");
    EXPECT_TRUE(Base64Decode("").empty());
}

class FolderTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/rk_tree_XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::wstring W(const std::string& path) { return platform::Utf8ToWide(path); }
    std::string dir_;
};

TEST_F(FolderTreeTest, DeletesEverythingIncludingDotFilesButNeverFollowsLinks) {
    std::string work = dir_ + "/work";
    std::string outside = dir_ + "/outside";
    ASSERT_TRUE(platform::CreateDirectories(work + "/sub/.hidden"));
    ASSERT_TRUE(platform::CreateDirectories(outside));
    std::ofstream(work + "/.contacts2.db") << "x";
    std::ofstream(work + "/sub/.hidden/f") << "x";
    std::ofstream(outside + "/keep") << "x";
    ASSERT_EQ(symlink(outside.c_str(), (work + "/link").c_str()), 0);
    EXPECT_TRUE(DeleteFolderTree(W(work)));
    EXPECT_FALSE(PathExists(W(work)));
    EXPECT_TRUE(PathExists(W(outside + "/keep")));
}

TEST_F(FolderTreeTest, MissingFolderCountsAsDeleted) {
    EXPECT_TRUE(DeleteFolderTree(W(dir_ + "/none")));
    EXPECT_FALSE(DeleteFolderTree(L""));
}

TEST_F(FolderTreeTest, UndeletableEntryGivesFalse) {
    if (geteuid() == 0) GTEST_SKIP() << "root may delete from read-only folders";
    std::string work = dir_ + "/ro";
    ASSERT_TRUE(platform::CreateDirectories(work + "/inner"));
    std::ofstream(work + "/inner/f") << "x";
    chmod((work + "/inner").c_str(), 0500);
    EXPECT_FALSE(DeleteFolderTree(W(work)));
    chmod((work + "/inner").c_str(), 0700);
}

TEST_F(FolderTreeTest, PathExistsAndProgramFolder) {
    EXPECT_FALSE(PathExists(L""));
    EXPECT_TRUE(PathExists(W(dir_)));
    EXPECT_FALSE(PathExists(W(dir_ + "/missing")));
    EXPECT_FALSE(PathExists(W(dir_ + "/missing/below")));
    std::wstring folder = GetProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(PathExists(folder + L"/framework_test"));
}
