#include "platform/IniFile.h"

#include <fstream>
#include <sstream>

namespace platform {

namespace {
std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}
}  // namespace

bool IniFile::Load(const std::string& path) {
    std::ifstream in(path);
    if (!in) return false;
    ReadLines(in);
    return true;
}

void IniFile::Parse(const std::string& text) {
    std::istringstream in(text);
    ReadLines(in);
}

void IniFile::ReadLines(std::istream& in) {
    sections_.clear();
    std::string section;
    std::string line;
    while (std::getline(in, line)) {
        std::string text = Trim(line);
        if (text.empty() || text[0] == ';' || text[0] == '#') continue;
        if (text.front() == '[' && text.back() == ']') {
            section = Trim(text.substr(1, text.size() - 2));
            continue;
        }
        size_t eq = text.find('=');
        if (eq == std::string::npos) continue;
        sections_[section][Trim(text.substr(0, eq))] = Trim(text.substr(eq + 1));
    }
}

bool IniFile::Save(const std::string& path) const {
    std::ofstream out(path, std::ios::trunc);
    if (!out) return false;
    for (const auto& section : sections_) {
        out << '[' << section.first << "]\n";
        for (const auto& entry : section.second) out << entry.first << '=' << entry.second << '\n';
    }
    return static_cast<bool>(out);
}

std::string IniFile::Get(const std::string& section, const std::string& key, const std::string& fallback) const {
    auto s = sections_.find(section);
    if (s == sections_.end()) return fallback;
    auto k = s->second.find(key);
    return k == s->second.end() ? fallback : k->second;
}

bool IniFile::Has(const std::string& section, const std::string& key) const {
    auto s = sections_.find(section);
    return s != sections_.end() && s->second.count(key) != 0;
}

void IniFile::Set(const std::string& section, const std::string& key, const std::string& value) {
    sections_[section][key] = value;
}

}  // namespace platform
