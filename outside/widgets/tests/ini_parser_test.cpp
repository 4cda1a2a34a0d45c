#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "outside/widgets/CBPIniParser.h"
#include "testing/TempFolder.h"

namespace {

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Str(const CBPIniParser& ini, const char* section, const char* key) {
    gchar* value = ini.GetKeyValueStr(section, key);
    std::string text = value ? value : "<missing>";
    g_free(value);
    return text;
}

}  // namespace

TEST(IniParserTest, ReadsValuesOfEveryKind) {
    const TempFolder scratch("rk_ini");
    const std::string& folder = scratch.Path();
    Write(folder + "/main.ini",
          "\xEF\xBB\xBF; a comment\r\n"
          "[Public]\r\n"
          "  Name =  Relikorda for Android  \r\n"
          "Number=42\n"
          "Big=604801000000\n"
          "Word=abc\n"
          "Size=1000, 620\n"
          "Size2=88 24\n"
          "Bad=1,\n"
          "List= a.ini ;; b.ini;\n"
          "Long=\"one\\\n"
          "two\"\n"
          "Name=second\n"
          "[Other]\n"
          "Number=7\n");
    CBPIniParser ini((folder + "/main.ini").c_str());
    EXPECT_EQ(Str(ini, "Public", "Name"), "Relikorda for Android");  // the first of two stays
    EXPECT_EQ(Str(ini, "public", "Name"), "<missing>");
    EXPECT_EQ(Str(ini, "Public", "Long"), "\"one\\\ntwo\"");
    EXPECT_EQ(ini.GetKeyValueInt("Public", "Number"), 42);
    EXPECT_EQ(ini.GetKeyValueInt("Other", "Number"), 7);
    EXPECT_EQ(ini.GetKeyValueInt("Public", "Word"), 0);
    EXPECT_EQ(ini.GetKeyValueInt("Public", "Missing"), 0);
    EXPECT_EQ(ini.GetKeyValueInt("Public", "Big"), 0);  // beyond an int
    EXPECT_EQ(ini.GetKeyValueInt64("Public", "Big"), 604801000000);

    int x = -1, y = -1;
    EXPECT_TRUE(ini.GetKeyIntPoint("Public", "Size", &x, &y));
    EXPECT_EQ(x, 1000);
    EXPECT_EQ(y, 620);
    EXPECT_TRUE(ini.GetKeyIntPoint("Public", "Size2", &x, &y));
    EXPECT_EQ(y, 24);
    x = y = -1;
    EXPECT_FALSE(ini.GetKeyIntPoint("Public", "Bad", &x, &y));
    EXPECT_FALSE(ini.GetKeyIntPoint("Public", "Missing", &x, &y));
    EXPECT_EQ(x, -1);

    gsize count = 0;
    gchar** list = ini.GetKeyStringList("Public", "List", &count);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(count, 2u);
    EXPECT_STREQ(list[0], "a.ini");
    EXPECT_STREQ(list[1], "b.ini");
    EXPECT_EQ(list[2], nullptr);
    g_strfreev(list);
    EXPECT_EQ(ini.GetKeyStringList("Public", "Missing", &count), nullptr);
    EXPECT_EQ(count, 0u);
}

TEST(IniParserTest, SupplementaryFilesAddOnlyWhatIsMissing) {
    const TempFolder scratch("rk_ini");
    const std::string& folder = scratch.Path();
    Write(folder + "/main.ini", "[Public]\nA=main\n");
    Write(folder + "/extra.ini", "[Public]\nA=extra\nB=extra\n[Scan]\nC=3\n");
    Write(folder + "/later.ini", "[Public]\nB=later\n");
    CBPIniParser ini((folder + "/main.ini").c_str());
    char extra[] = "extra.ini", missing[] = "missing.ini", later[] = "later.ini";
    char* files[] = {extra, missing, later, nullptr};
    EXPECT_EQ(ini.AddSupplementFiles(files), 2);  // relative to the main file's folder
    EXPECT_EQ(Str(ini, "Public", "A"), "main");
    EXPECT_EQ(Str(ini, "Public", "B"), "extra");
    EXPECT_EQ(ini.GetKeyValueInt("Scan", "C"), 3);
}

TEST(IniParserTest, WritesKeepCommentsAndLayout) {
    const TempFolder scratch("rk_ini");
    const std::string& folder = scratch.Path();
    const std::string path = folder + "/UIConfig.ini";
    Write(path, "; top\n[Public]\n; language\nLanguage=English\n\n[MainWin]\nWinSize=1000,620\n");
    Write(folder + "/extra.ini", "[Public]\nFromExtra=1\n");
    CBPIniParser ini(path.c_str());
    char extra[] = "extra.ini";
    char* files[] = {extra, nullptr};
    ini.AddSupplementFiles(files);
    ASSERT_TRUE(ini.SetKeyValueStr("Public", "Language", "French"));
    ASSERT_TRUE(ini.SetKeyValueInt64("MainWin", "UpdateTime", 1700000000));
    ASSERT_TRUE(ini.SetKeyValueStr("New", "Key", "v"));
    EXPECT_FALSE(ini.SetKeyValueStr("Public", "Language", "two\nlines"));
    EXPECT_EQ(Read(path),
              "; top\n[Public]\n; language\nLanguage=French\n\n[MainWin]\nWinSize=1000,620\nUpdateTime=1700000000\n"
              "[New]\nKey=v\n");
    EXPECT_EQ(Str(ini, "Public", "Language"), "French");
    EXPECT_EQ(Read(folder + "/extra.ini"), "[Public]\nFromExtra=1\n");  // never written

    CBPIniParser dropped(path.c_str(), false);
    ASSERT_TRUE(dropped.SetKeyValueStr("Public", "Language", "German"));
    EXPECT_EQ(Read(path).find(';'), std::string::npos);

    // A missing file reads as empty and is made by the first write.
    CBPIniParser fresh((folder + "/fresh.ini").c_str());
    EXPECT_EQ(Str(fresh, "Public", "Language"), "<missing>");
    ASSERT_TRUE(fresh.SetKeyValueStr("Public", "Language", "English"));
    EXPECT_EQ(Read(folder + "/fresh.ini"), "[Public]\nLanguage=English\n");
    CBPIniParser nowhere;
    EXPECT_FALSE(nowhere.SetKeyValueStr("Public", "Language", "English"));
}
