#include "sqlite_recovery/framework/XmlLeafSpaces.h"

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string KeepLeafSpaces(const std::string& xml) {
    std::string out;
    out.reserve(xml.size());
    bool afterStartTag = false;
    size_t at = 0;
    while (at < xml.size()) {
        if (xml[at] == '<') {
            size_t end = at + 1;
            char quote = 0;
            while (end < xml.size() && (quote || xml[end] != '>')) {
                if (quote && xml[end] == quote) quote = 0;
                else if (!quote && (xml[end] == '"' || xml[end] == '\'')) quote = xml[end];
                ++end;
            }
            if (end == xml.size()) return out + xml.substr(at);
            const char kind = at + 1 < end ? xml[at + 1] : '/';
            afterStartTag = kind != '/' && kind != '?' && kind != '!' && xml[end - 1] != '/';
            out.append(xml, at, end + 1 - at);
            at = end + 1;
            continue;
        }
        size_t end = xml.find('<', at);
        if (end == std::string::npos) end = xml.size();
        const bool leaf = afterStartTag && end + 1 < xml.size() && xml[end + 1] == '/';
        for (size_t i = at; i < end; ++i) {
            const char c = xml[i];
            const bool lone = c == ' ' && i > at && i + 1 < end && !IsXmlSpace(xml[i - 1]) && !IsXmlSpace(xml[i + 1]);
            if (leaf && IsXmlSpace(c) && !lone) out += "&#" + std::to_string(static_cast<int>(c)) + ";";
            else out += c;
        }
        at = end;
    }
    return out;
}
