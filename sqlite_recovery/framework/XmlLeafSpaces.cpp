#include "sqlite_recovery/framework/XmlLeafSpaces.h"

#include <cstring>

namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::string KeepLeafSpaces(const char* xml, size_t size, XmlLeafLayout* layout) {
    std::string out;
    out.reserve(size);
    bool afterStartTag = false;
    int depth = 0;
    size_t at = 0;
    while (at < size) {
        if (xml[at] == '<') {
            size_t end = at + 1;
            char quote = 0;
            while (end < size && (quote || xml[end] != '>')) {
                if (quote && xml[end] == quote) quote = 0;
                else if (!quote && (xml[end] == '"' || xml[end] == '\'')) quote = xml[end];
                ++end;
            }
            if (end == size) {
                layout->nested = false;
                return out.append(xml + at, size - at);
            }
            const char kind = at + 1 < end ? xml[at + 1] : '/';
            const bool closed = xml[end - 1] == '/';
            afterStartTag = kind != '/' && kind != '?' && kind != '!' && !closed;
            if (kind == '/') {
                if (--depth < 0) layout->nested = false;
                if (depth == 1) layout->childEnds.push_back(end + 1);
            } else if (kind != '?' && kind != '!') {
                if (depth == 0 && layout->rootStartEnd == 0) layout->rootStartEnd = end + 1;
                if (depth == 1 && closed) layout->childEnds.push_back(end + 1);
                if (!closed) ++depth;
            }
            out.append(xml + at, end + 1 - at);
            at = end + 1;
            continue;
        }
        const char* next = static_cast<const char*>(std::memchr(xml + at, '<', size - at));
        size_t end = next ? static_cast<size_t>(next - xml) : size;
        const bool leaf = afterStartTag && end + 1 < size && xml[end + 1] == '/';
        if (leaf) layout->leaves.emplace_back(at, end - at);
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

std::string KeepLeafSpaces(const std::string& xml) {
    XmlLeafLayout layout;
    return KeepLeafSpaces(xml.data(), xml.size(), &layout);
}
