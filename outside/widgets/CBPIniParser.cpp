#include "outside/widgets/CBPIniParser.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return std::string();
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

bool IsComment(const std::string& trimmed) {
    return trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '#';
}

bool ReadFile(const std::string& path, std::string& content) {
    gchar* data = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(path.c_str(), &data, &length, nullptr)) return false;
    content.assign(data, length);
    g_free(data);
    if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);
    return true;
}

// The value part of a "key=value" line (continuation lines included).
std::string ValueOf(const std::string& text) {
    return Trim(text.substr(text.find('=') + 1));
}

}  // namespace

CBPIniParser::CBPIniParser(const char* path, bool keepComments) { Open(path, keepComments); }

std::vector<CBPIniParser::Line> CBPIniParser::ParseLines(const std::string& content) {
    std::vector<Line> lines;
    std::string section;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::string text = content.substr(pos, end - pos);
        pos = end + 1;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        std::string trimmed = Trim(text);
        Line line{text, section, std::string()};
        if (!IsComment(trimmed) && trimmed[0] == '[' && trimmed.back() == ']') {
            section = Trim(trimmed.substr(1, trimmed.size() - 2));
            line.section = section;
        } else if (!IsComment(trimmed) && trimmed.find('=') != std::string::npos) {
            line.key = Trim(trimmed.substr(0, trimmed.find('=')));
            // A trailing backslash carries the value over to the next line.
            while (!line.text.empty() && Trim(line.text).back() == '\\' && pos < content.size()) {
                end = content.find('\n', pos);
                if (end == std::string::npos) end = content.size();
                std::string next = content.substr(pos, end - pos);
                pos = end + 1;
                if (!next.empty() && next.back() == '\r') next.pop_back();
                line.text = Trim(line.text) + "\n" + next;
            }
        }
        lines.push_back(line);
    }
    return lines;
}

void CBPIniParser::AddValues(const std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (line.key.empty()) continue;
        values_.emplace(KeyName(line.section, line.key), ValueOf(line.text));  // the first one stays
    }
}

bool CBPIniParser::Open(const char* path, bool keepComments) {
    path_ = path ? path : "";
    keepComments_ = keepComments;
    lines_.clear();
    values_.clear();
    std::string content;
    if (path_.empty() || !ReadFile(path_, content)) return false;
    lines_ = ParseLines(content);
    AddValues(lines_);
    return true;
}

bool CBPIniParser::AddSupplementFile(const char* path) {
    if (!path || !*path) return false;
    std::string file = path;
    if (!g_path_is_absolute(path)) {
        gchar* folder = g_path_get_dirname(path_.empty() ? "." : path_.c_str());
        gchar* joined = g_build_filename(folder, path, nullptr);
        file = joined;
        g_free(joined);
        g_free(folder);
    }
    std::string content;
    if (!ReadFile(file, content)) return false;
    AddValues(ParseLines(content));
    return true;
}

int CBPIniParser::AddSupplementFiles(char** paths) {
    int added = 0;
    for (char** p = paths; p && *p; ++p) added += AddSupplementFile(*p) ? 1 : 0;
    return added;
}

const std::string* CBPIniParser::Find(const char* section, const char* key) const {
    if (!section || !key) return nullptr;
    auto found = values_.find(KeyName(section, key));
    return found == values_.end() ? nullptr : &found->second;
}

gchar* CBPIniParser::GetKeyValueStr(const char* section, const char* key) const {
    const std::string* value = Find(section, key);
    return value ? g_strdup(value->c_str()) : nullptr;
}

gint64 CBPIniParser::GetKeyValueInt64(const char* section, const char* key) const {
    const std::string* value = Find(section, key);
    if (!value) return 0;
    errno = 0;
    char* end = nullptr;
    long long number = std::strtoll(value->c_str(), &end, 10);
    if (end == value->c_str() || errno == ERANGE) return 0;
    return number;
}

int CBPIniParser::GetKeyValueInt(const char* section, const char* key) const {
    gint64 number = GetKeyValueInt64(section, key);
    return (number < G_MININT || number > G_MAXINT) ? 0 : static_cast<int>(number);
}

bool CBPIniParser::GetKeyIntPoint(const char* section, const char* key, int* x, int* y) const {
    const std::string* value = Find(section, key);
    if (!value) return false;
    int a = 0, b = 0;
    char tail = 0;
    if (std::sscanf(value->c_str(), "%d , %d %c", &a, &b, &tail) != 2 &&
        std::sscanf(value->c_str(), "%d %d %c", &a, &b, &tail) != 2)
        return false;
    if (x) *x = a;
    if (y) *y = b;
    return true;
}

gchar** CBPIniParser::GetKeyStringList(const char* section, const char* key, gsize* count) const {
    const std::string* value = Find(section, key);
    if (count) *count = 0;
    if (!value) return nullptr;
    GPtrArray* entries = g_ptr_array_new();
    gchar** parts = g_strsplit(value->c_str(), ";", -1);
    for (gchar** part = parts; *part; ++part) {
        std::string entry = Trim(*part);
        if (!entry.empty()) g_ptr_array_add(entries, g_strdup(entry.c_str()));
    }
    g_strfreev(parts);
    if (count) *count = entries->len;
    g_ptr_array_add(entries, nullptr);
    return reinterpret_cast<gchar**>(g_ptr_array_free(entries, FALSE));
}

bool CBPIniParser::SetKeyValueStr(const char* section, const char* key, const char* value) {
    if (!section || !key || !*key || !value || std::strpbrk(value, "\r\n")) return false;
    values_[KeyName(section, key)] = value;
    const std::string text = std::string(key) + "=" + value;
    // Replace the key's line, or add it after the last line of its section, or add the section.
    size_t insertAt = lines_.size();
    bool sectionSeen = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (lines_[i].section != section) continue;
        if (lines_[i].key == key) {
            lines_[i].text = text;
            return Save();
        }
        sectionSeen = true;
        if (!Trim(lines_[i].text).empty()) insertAt = i + 1;
    }
    if (!sectionSeen) {
        lines_.push_back(Line{"[" + std::string(section) + "]", section, std::string()});
        insertAt = lines_.size();
    }
    lines_.insert(lines_.begin() + static_cast<long>(insertAt), Line{text, section, key});
    return Save();
}

bool CBPIniParser::SetKeyValueInt64(const char* section, const char* key, gint64 value) {
    return SetKeyValueStr(section, key, std::to_string(static_cast<long long>(value)).c_str());
}

bool CBPIniParser::Save() const {
    if (path_.empty()) return false;
    std::string content;
    for (const Line& line : lines_) {
        if (!keepComments_ && line.key.empty() && IsComment(Trim(line.text))) continue;
        content += line.text;
        content += '\n';
    }
    return g_file_set_contents(path_.c_str(), content.data(), static_cast<gssize>(content.size()), nullptr);
}
