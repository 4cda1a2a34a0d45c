#pragma once
#include <iosfwd>
#include <map>
#include <string>

namespace platform {

// A small ini file: "[section]" lines, "key=value" lines, ';' or '#' comments. Keys and sections
// are case-sensitive; white space around keys and values is dropped.
class IniFile {
public:
    bool Load(const std::string& path);
    // Takes the settings from text already read (from a file read with care, for one).
    void Parse(const std::string& text);
    bool Save(const std::string& path) const;
    std::string Get(const std::string& section, const std::string& key, const std::string& fallback = "") const;
    bool Has(const std::string& section, const std::string& key) const;
    void Set(const std::string& section, const std::string& key, const std::string& value);

private:
    void ReadLines(std::istream& in);

    std::map<std::string, std::map<std::string, std::string>> sections_;
};

}  // namespace platform
