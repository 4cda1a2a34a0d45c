#pragma once
#include <map>
#include <memory>
#include <string>

#include "platform/CriticalSection.h"

class CBPIniParser;

// Every visible text by key, from the language file "<res>/MultiLang/<Language>.ini" (section
// "Language", values between double quotes) and per-language links (section "link"). The
// process-wide store may be first used during static initialisation, so it reads the configuration
// by itself. Returned texts live as long as the store.
class CLanguageTable {
public:
    // The store over "../res/", made on first use.
    static CLanguageTable& Instance();
    static const char* GetLangString(const char* key);
    static const char* GetLangLink(const char* key);
    // The text of key when it is a printf format taking exactly the conversions of signature
    // (such as "%d" or "%s%s"); otherwise signature itself, so a faulty translation cannot
    // mislead printf.
    static const char* GetLangFormat(const char* key, const char* signature);
    // dgettext in the GUI's domain.
    static const char* GetTextInDomain(const char* text);

    // A store over another resource folder (ending in '/'): for tests and tools.
    explicit CLanguageTable(const std::string& resFolder);
    ~CLanguageTable();
    CLanguageTable(const CLanguageTable&) = delete;
    CLanguageTable& operator=(const CLanguageTable&) = delete;

    const char* Lookup(const char* key, bool text);
    const char* Format(const char* key, const char* signature);
    // The language file in use.
    const std::string& FilePath() const { return path_; }

    // The value between the outermost double quotes, with the first backslash-newline made a plain
    // newline; "" without two quotes.
    static std::string Unquote(const std::string& value);
    // The conversions of a printf format in order, "%%" left out ("%-5d x %s" gives "%d%s").
    static std::string Conversions(const char* format);

private:
    std::map<std::string, std::string> texts_;
    std::map<std::string, std::string> links_;
    CRITICAL_SECTION lock_;
    std::unique_ptr<CBPIniParser> parser_;
    std::string path_;
};

inline const char* GetLangString(const char* key) { return CLanguageTable::GetLangString(key); }
inline const char* GetLangLink(const char* key) { return CLanguageTable::GetLangLink(key); }
inline const char* GetLangFormat(const char* key, const char* signature) {
    return CLanguageTable::GetLangFormat(key, signature);
}
inline const char* GetTextInDomain(const char* text) { return CLanguageTable::GetTextInDomain(text); }
