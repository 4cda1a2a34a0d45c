#include "gui/shell/CLanguageTable.h"

#include <glib.h>
#include <libintl.h>

#include <cstring>

#include "gui/shell/UsageStats.h"
#include "outside/widgets/CBPIniParser.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {
constexpr const char* kTextDomain = "RelikordaUI";
}  // namespace

CLanguageTable& CLanguageTable::Instance() {
    static CLanguageTable table("../res/");
    return table;
}

const char* CLanguageTable::GetLangString(const char* key) { return Instance().Lookup(key, true); }
const char* CLanguageTable::GetLangLink(const char* key) { return Instance().Lookup(key, false); }
const char* CLanguageTable::GetLangFormat(const char* key, const char* signature) {
    return Instance().Format(key, signature);
}
const char* CLanguageTable::GetTextInDomain(const char* text) { return text ? dgettext(kTextDomain, text) : ""; }

CLanguageTable::CLanguageTable(const std::string& resFolder) {
    std::string language;
    {
        CBPIniParser config((resFolder + "UIConfig.ini").c_str());
        if (gchar* value = config.GetKeyValueStr("Public", "Language")) {
            language = value;
            g_free(value);
        }
    }
    if (!language.empty()) {
        SendTextEvent(USAGE_TEXT_LANGUAGE, language == "German" ? "Deutsch" : language.c_str());
    } else {
        language = "English";
    }
    path_ = resFolder + "MultiLang/" + language + ".ini";
    parser_.reset(new CBPIniParser(path_.c_str(), true));
}

CLanguageTable::~CLanguageTable() = default;

const char* CLanguageTable::Lookup(const char* key, bool text) {
    if (!key) return "";
    autolocker<critical_locker> guard(&lock_);
    std::map<std::string, std::string>& cache = text ? texts_ : links_;
    auto cached = cache.find(key);
    if (cached == cache.end()) {
        std::string value;
        if (gchar* raw = parser_->GetKeyValueStr(text ? "Language" : "link", key)) {
            value = text ? Unquote(raw) : std::string(raw);
            g_free(raw);
        }
        // Written once and never changed: the pointer handed out stays valid.
        cached = cache.emplace(key, value).first;
    }
    return cached->second.c_str();
}

const char* CLanguageTable::Format(const char* key, const char* signature) {
    const char* text = Lookup(key, true);
    if (!signature) signature = "";
    return Conversions(text) == Conversions(signature) ? text : signature;
}

std::string CLanguageTable::Unquote(const std::string& value) {
    size_t first = value.find('"');
    size_t last = value.rfind('"');
    if (first == std::string::npos || last == first) return std::string();
    std::string text = value.substr(first + 1, last - first - 1);
    size_t joint = text.find("\\\n");
    if (joint != std::string::npos) text.erase(joint, 1);
    return text;
}

std::string CLanguageTable::Conversions(const char* format) {
    std::string result;
    for (const char* p = format ? format : ""; *p; ++p) {
        if (*p != '%') continue;
        const char* start = p++;
        if (*p == '%') continue;
        // Flags, width, precision, length, then the conversion letter.
        while (*p && std::strchr("-+ #0123456789.*'$hlLqjzt", *p)) ++p;
        if (!*p) {
            result.append(start);
            break;
        }
        result += '%';
        for (const char* q = start + 1; q < p; ++q) {
            if (std::strchr("hlLqjzt*$", *q)) result += *q;  // length and argument-taking parts
        }
        result += *p;
    }
    return result;
}
