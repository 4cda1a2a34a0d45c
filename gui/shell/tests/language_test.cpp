#include <gtest/gtest.h>

#include <dirent.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/ContactFieldTypes.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "platform/FileSystem.h"

namespace {

// A resource folder with the given configuration and language files.
std::string MakeRes(const std::string& config, const std::vector<std::pair<std::string, std::string>>& languages) {
    const std::string res = MakeTempFolder() + "/res/";
    platform::CreateDirectories(res + "MultiLang");
    WriteText(res + "UIConfig.ini", config);
    for (const auto& language : languages) WriteText(res + "MultiLang/" + language.first + ".ini", language.second);
    return res;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& prefix) {
    for (const std::string& line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

void CollectSources(const std::string& folder, std::vector<std::string>& files) {
    std::vector<std::string> names;
    if (!platform::ListDirectory(folder, names)) return;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        if (platform::GetEntryKind(path) == platform::EntryKind::Directory) {
            if (name != "tests") CollectSources(path, files);
        } else if (name.size() > 4 && (name.substr(name.size() - 4) == ".cpp" || name.substr(name.size() - 2) == ".h")) {
            files.push_back(path);
        }
    }
}

}  // namespace

TEST(LanguageTableTest, ValuesAreTakenFromBetweenTheOutermostQuotes) {
    StatsLog stats;
    const std::string res = MakeRes("[Public]\nproductName=X\n",
                                    {{"English",
                                      "[Language]\n"
                                      "WORD=\"word\"\n"
                                      "OUTSIDE=  a \"inner\" b  \n"
                                      "INNER=\"say \"hi\" now\"\n"
                                      "NONE=plain\n"
                                      "SINGLE=\"open\n"
                                      "EMPTY=\"\"\n"
                                      "JOINED=\"one\\\ntwo\\\nthree\"\n"
                                      "[link]\n"
                                      "Site=https://relikorda.example/?a=\"1\"\n"}});
    CLanguageTable table(res);
    EXPECT_EQ(table.FilePath(), res + "MultiLang/English.ini");
    struct Case {
        const char* key;
        std::string expected;
    } cases[] = {
        {"WORD", "word"}, {"OUTSIDE", "inner"}, {"INNER", "say \"hi\" now"}, {"NONE", ""},
        {"SINGLE", ""},   {"EMPTY", ""},        {"MISSING", ""},
        // Only the first backslash-newline loses its backslash.
        {"JOINED", "one\ntwo\\\nthree"},
    };
    for (const Case& c : cases) EXPECT_EQ(table.Lookup(c.key, true), c.expected) << c.key;
    EXPECT_STREQ(table.Lookup("Site", false), "https://relikorda.example/?a=\"1\"");
    EXPECT_STREQ(table.Lookup("WORD", false), "");
    EXPECT_EQ(table.Lookup("WORD", true), table.Lookup("WORD", true));  // the same pointer
    // No "Language" key: English, and nothing reported.
    EXPECT_FALSE(HasLine(stats.Lines(), "SpySetTextExA"));
}

TEST(LanguageTableTest, TheChosenLanguageIsReportedGermanAsDeutsch) {
    for (const char* name : {"German", "French"}) {
        const std::string language = name;
        StatsLog stats;
        const std::string res = MakeRes("[Public]\nLanguage=" + language + "\n",
                                        {{language, "[Language]\nHELLO=\"" + language + "\"\n"}});
        CLanguageTable table(res);
        EXPECT_STREQ(table.Lookup("HELLO", true), language.c_str());
        const std::string expected = language == "German" ? "Deutsch" : language;
        EXPECT_EQ(stats.Lines(), std::vector<std::string>{"SpySetTextExA 12366 " + expected});
    }
}

TEST(LanguageTableTest, FormatsAreUsedOnlyWithTheirCallersConversions) {
    struct Case {
        const char* format;
        const char* conversions;
    } cases[] = {
        {"plain", ""},       {"%d items", "%d"},         {"100%% of %s", "%s"}, {"%-5d|%08.3f", "%d%f"},
        {"%ld %zu", "%ld%zu"}, {"%*d", "%*d"},          {"%s %s", "%s%s"},     {"ends with %", "%"},
    };
    for (const Case& c : cases) EXPECT_EQ(CLanguageTable::Conversions(c.format), c.conversions) << c.format;

    const std::string res = MakeRes("", {{"English", "[Language]\nGOOD=\"%d selected\"\nBAD=\"%s selected\"\n"}});
    CLanguageTable table(res);
    EXPECT_STREQ(table.Format("GOOD", "%d"), "%d selected");
    EXPECT_STREQ(table.Format("BAD", "%d"), "%d");
    EXPECT_STREQ(table.Format("MISSING", "%d"), "%d");
}

TEST(LanguageTableTest, EveryKeyTheSourcesLookUpIsInEachLanguageFile) {
    // The keys the sources name, and the conversions each format caller passes.
    std::set<std::string> texts, links;
    std::set<std::pair<std::string, std::string>> formats;
    std::vector<std::string> files;
    CollectSources(std::string(RK_SOURCE_DIR) + "/gui", files);
    ASSERT_FALSE(files.empty());
    const std::regex textCall(R"re(GetLangString\(\s*"([A-Za-z0-9_]+)"\s*\))re");
    const std::regex linkCall(R"re((?:GetLangLink|LanguageLink)\(\s*"([A-Za-z0-9_]+)"\s*\))re");
    const std::regex formatCall(R"re(GetLangFormat\(\s*"([A-Za-z0-9_]+)"\s*,\s*"([^"]*)"\s*\))re");
    const std::regex lookupCall(R"re(Lookup\(\s*"([A-Za-z0-9_]+)"\s*,\s*(true|false)\s*\))re");
    for (const std::string& file : files) {
        const std::string source = ReadText(file);
        for (std::sregex_iterator it(source.begin(), source.end(), textCall), end; it != end; ++it) texts.insert((*it)[1]);
        for (std::sregex_iterator it(source.begin(), source.end(), linkCall), end; it != end; ++it) links.insert((*it)[1]);
        for (std::sregex_iterator it(source.begin(), source.end(), formatCall), end; it != end; ++it)
            formats.insert({(*it)[1], (*it)[2]});
        for (std::sregex_iterator it(source.begin(), source.end(), lookupCall), end; it != end; ++it)
            ((*it)[2] == "true" ? texts : links).insert((*it)[1]);
    }
    size_t count = 0;
    const ContactFieldTypeKey* keys = ContactFieldTypeKeys(&count);
    ASSERT_EQ(count, 82u);
    for (size_t i = 0; i < count; ++i) texts.insert(keys[i].key);
    EXPECT_TRUE(texts.count("CONTACT_LABEL") && texts.count("PRODUCT_NAME_VER_ITUNES") && links.count("ShareUrl"));

    for (const char* language : {"English", "French", "German", "Chinese"}) {
        const std::string res = MakeRes(std::string("[Public]\nLanguage=") + language + "\n", {});
        const std::string shipped = ReadText(std::string("../res/MultiLang/") + language + ".ini");
        ASSERT_FALSE(shipped.empty()) << language;
        WriteText(res + "MultiLang/" + language + ".ini", shipped);
        CLanguageTable table(res);
        for (const std::string& key : texts) EXPECT_STRNE(table.Lookup(key.c_str(), true), "") << language << " " << key;
        for (const std::string& key : links)
            EXPECT_EQ(std::string(table.Lookup(key.c_str(), false)).rfind("https://relikorda.example/", 0), 0u)
                << language << " " << key;
        for (const auto& format : formats)
            EXPECT_STREQ(table.Format(format.first.c_str(), format.second.c_str()), table.Lookup(format.first.c_str(), true))
                << language << " " << format.first << " takes " << format.second;
    }
}

TEST(LanguageTableTest, FieldTypeNamesComeFromTheLanguageFile) {
    CUIPublic shipped("../res/", false);
    EXPECT_EQ(shipped.GetTypeName(0x1301), "Home");
    EXPECT_EQ(shipped.GetTypeName(0x1E01), "Note");
    EXPECT_EQ(shipped.GetTypeName(RECOVERY_ERROR_FAILED_WRITE), "The file could not be written.");
    EXPECT_EQ(shipped.GetTypeName(0x1300), " ");
    EXPECT_EQ(shipped.GetTypeName(-1), " ");

    const std::string res = MakeRes("", {{"English", "[Language]\nIDS_STRING_PHONE_V2_TYPE_HOME=\"Zuhause\"\n"}});
    CUIPublic partial(res, false);
    EXPECT_EQ(partial.GetTypeName(0x1301), "Zuhause");
    EXPECT_EQ(partial.GetTypeName(0x1E01), "");  // a key missing from the file: empty, not a blank
}
