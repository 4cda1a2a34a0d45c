#pragma once
#include <glib.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

// An ini file: "[section]" lines, "key=value" lines, ';' or '#' comments. A value whose line ends
// with a backslash goes on over the next line (the backslash and the line break stay in the value).
// Keys of supplementary files are added to the same parser; a key already known keeps its value.
// Writes go to the main file only, keeping its comments and layout.
class CBPIniParser {
public:
    CBPIniParser() = default;
    explicit CBPIniParser(const char* path, bool keepComments = true);
    CBPIniParser(const CBPIniParser&) = delete;
    CBPIniParser& operator=(const CBPIniParser&) = delete;

    // False when the file cannot be read; the parser is then empty but remembers the path, so
    // that a write creates the file.
    bool Open(const char* path, bool keepComments = true);
    // A relative path is taken from the main file's folder.
    bool AddSupplementFile(const char* path);
    // Adds each file of a null-terminated list; the number added.
    int AddSupplementFiles(char** paths);

    // A copy to free with g_free; null when missing.
    gchar* GetKeyValueStr(const char* section, const char* key) const;
    // 0 when missing or not a number.
    int GetKeyValueInt(const char* section, const char* key) const;
    gint64 GetKeyValueInt64(const char* section, const char* key) const;
    // Two integers "x,y" (or "x y"); false, and nothing written, when missing or malformed.
    bool GetKeyIntPoint(const char* section, const char* key, int* x, int* y) const;
    // The ';'-separated entries without surrounding blanks or empty ones; free with g_strfreev.
    // Null when the key is missing; *count (when given) receives the number of entries.
    gchar** GetKeyStringList(const char* section, const char* key, gsize* count) const;

    // Sets the value and writes the main file; false when it cannot be written or the value holds
    // a line break.
    bool SetKeyValueStr(const char* section, const char* key, const char* value);
    bool SetKeyValueInt64(const char* section, const char* key, gint64 value);

    const std::string& Path() const { return path_; }

private:
    struct Line {
        std::string text;     // as read, continuation lines included
        std::string section;  // the section the line stands in
        std::string key;      // empty for headers, comments and blanks
    };
    using KeyName = std::pair<std::string, std::string>;

    static std::vector<Line> ParseLines(const std::string& content);
    void AddValues(const std::vector<Line>& lines);
    const std::string* Find(const char* section, const char* key) const;
    bool Save() const;

    std::string path_;
    bool keepComments_ = true;
    std::vector<Line> lines_;  // the main file
    std::map<KeyName, std::string> values_;
};
