#include "sqlite_recovery/engine/SchemaText.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "sqlite_recovery/engine/EngineState.h"

namespace {

bool IsBlank(char ch) { return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v'; }
bool IsNameChar(char ch) { return std::isalnum(static_cast<unsigned char>(ch)) || ch == '_' || ch == '$'; }

bool MatchWordNoCase(const std::string& text, size_t at, const char* word) {
    const size_t n = std::strlen(word);
    if (at + n > text.size()) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::toupper(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
    return at + n == text.size() || !IsNameChar(text[at + n]);
}

size_t SkipBlanks(const std::string& text, size_t at) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    return at;
}

// A table constraint starts here (after a comma): PRIMARY KEY, UNIQUE, CHECK, FOREIGN KEY, CONSTRAINT.
bool StartsTableConstraint(const std::string& sql, size_t at) {
    at = SkipBlanks(sql, at);
    if (MatchWordNoCase(sql, at, "PRIMARY")) return MatchWordNoCase(sql, SkipBlanks(sql, at + 7), "KEY");
    if (MatchWordNoCase(sql, at, "FOREIGN")) return MatchWordNoCase(sql, SkipBlanks(sql, at + 7), "KEY");
    return MatchWordNoCase(sql, at, "UNIQUE") || MatchWordNoCase(sql, at, "CHECK") ||
           MatchWordNoCase(sql, at, "CONSTRAINT");
}

// Start of the text of column i: after the opening parenthesis for column 0, after the i-th comma
// otherwise; npos when there is none.
size_t ColumnTextStart(const std::string& sql, int i) {
    size_t at = sql.find('(');
    if (at == std::string::npos) return at;
    ++at;
    for (int k = 0; k < i; ++k) {
        at = sql.find(',', at);
        if (at == std::string::npos) return at;
        ++at;
    }
    while (at < sql.size() && (IsBlank(sql[at]) || sql[at] == '\'' || sql[at] == '"' || sql[at] == '`' ||
                               sql[at] == '[' || sql[at] == ','))
        ++at;
    return at;
}

}  // namespace

int CountColumns(const std::string& sql) {
    int commas = 0;
    for (size_t i = 0; i < sql.size(); ++i) {
        if ((i & 4095) == 4095 && engine_state::WalkTimeUp()) return commas;
        if (sql[i] != ',') continue;
        if (StartsTableConstraint(sql, i + 1)) break;
        ++commas;
    }
    return commas + 1;
}

int FindColumnIndex(const TableSchema* table, const char* name) {
    if (!table || !name || !*name || table->sql.empty()) return -1;
    const std::string& sql = table->sql;
    const size_t n = std::strlen(name);
    int prefixMatch = -1;
    for (int i = 0; i < table->columnCount; ++i) {
        const size_t at = ColumnTextStart(sql, i);
        if (at == std::string::npos) break;
        if (at + n > sql.size()) continue;
        bool same = true;
        for (size_t k = 0; k < n && same; ++k)
            same = std::tolower(static_cast<unsigned char>(sql[at + k])) ==
                   std::tolower(static_cast<unsigned char>(name[k]));
        if (!same) continue;
        if (at + n == sql.size() || !IsNameChar(sql[at + n])) return i;
        if (prefixMatch < 0) prefixMatch = i;
    }
    return prefixMatch;
}

int FindRowidColumn(const std::string& sql, int columnCount) {
    for (int i = 0; i < columnCount; ++i) {
        size_t at = ColumnTextStart(sql, i);
        if (at == std::string::npos) return -1;
        const size_t end = std::min(sql.find(',', at), sql.size());
        // name, then the type INTEGER and PRIMARY KEY
        while (at < end && !IsBlank(sql[at]) && sql[at] != '\'' && sql[at] != '"' && sql[at] != '`' && sql[at] != ']')
            ++at;
        while (at < end && (sql[at] == '\'' || sql[at] == '"' || sql[at] == '`' || sql[at] == ']')) ++at;
        at = SkipBlanks(sql, at);
        if (!MatchWordNoCase(sql, at, "INTEGER")) continue;
        at = SkipBlanks(sql, at + 7);
        if (at < end && MatchWordNoCase(sql, at, "PRIMARY") && MatchWordNoCase(sql, SkipBlanks(sql, at + 7), "KEY"))
            return i;
    }
    return -1;
}

std::vector<uint8_t> ColumnAffinities(const std::string& sql, int columnCount) {
    std::vector<std::string> defs;
    size_t at = sql.find('(');
    if (at == std::string::npos || columnCount <= 0) return {};
    int depth = 0;
    std::string current;
    char quote = 0;
    for (size_t i = at + 1; i < sql.size(); ++i) {
        const char ch = sql[i];
        if (quote) {
            if (ch == quote) quote = 0;
            current += ch;
            continue;
        }
        if (ch == '\'' || ch == '"' || ch == '`') quote = ch;
        if (ch == '[') quote = ']';
        if (ch == '(') ++depth;
        if (ch == ')' && depth-- == 0) break;
        if (ch == ',' && depth == 0) {
            defs.push_back(current);
            current.clear();
            continue;
        }
        current += ch;
    }
    defs.push_back(current);
    std::vector<uint8_t> out;
    for (const std::string& def : defs) {
        // Words of the definition, upper-cased; quoted names are one word.
        std::vector<std::string> words;
        std::string w;
        char q = 0;
        for (char ch : def) {
            if (q) {
                if (ch == q) q = 0;
                w += ch;
                continue;
            }
            if (ch == '\'' || ch == '"' || ch == '`' || ch == '[') {
                q = ch == '[' ? ']' : ch;
                w += ch;
                continue;
            }
            if (std::isspace(static_cast<unsigned char>(ch)) || ch == '(' || ch == ')') {
                if (!w.empty()) words.push_back(w);
                w.clear();
                if (ch == '(' || ch == ')') words.push_back(std::string(1, ch));
                continue;
            }
            w += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
        }
        if (!w.empty()) words.push_back(w);
        if (words.empty()) return {};
        static const char* const kTableConstraints[] = {"CONSTRAINT", "PRIMARY", "UNIQUE", "CHECK", "FOREIGN"};
        auto listed = [](const char* const* list, size_t n, const std::string& word) {
            return std::find(list, list + n, word) != list + n;
        };
        if (listed(kTableConstraints, std::size(kTableConstraints), words[0])) break;
        static const char* const kColumnConstraints[] = {"CONSTRAINT", "PRIMARY", "NOT", "NULL", "UNIQUE", "CHECK",
                                                         "DEFAULT", "COLLATE", "REFERENCES", "GENERATED", "AS"};
        std::string type;
        for (size_t k = 1; k < words.size(); ++k) {
            if (listed(kColumnConstraints, std::size(kColumnConstraints), words[k])) break;
            type += words[k] + " ";
        }
        uint8_t a = kAffinityNumeric;
        if (type.find("INT") != std::string::npos) a = kAffinityInteger;
        else if (type.find("CHAR") != std::string::npos || type.find("CLOB") != std::string::npos ||
                 type.find("TEXT") != std::string::npos) a = kAffinityText;
        else if (type.empty() || type.find("BLOB") != std::string::npos) a = kAffinityBlob;
        else if (type.find("REAL") != std::string::npos || type.find("FLOA") != std::string::npos ||
                 type.find("DOUB") != std::string::npos) a = kAffinityReal;
        out.push_back(a);
    }
    if (static_cast<int>(out.size()) != columnCount) return {};
    return out;
}
