#include "sms/SmsXmlAttributes.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <tinyxml.h>

int64_t ReadInt64Attribute(const TiXmlElement* element, const char* name) {
    const char* text = element ? element->Attribute(name) : nullptr;
    if (!text) return 0;
    errno = 0;
    char* end = nullptr;
    long long value = std::strtoll(text, &end, 10);
    if (end == text) return 0;
    return value;  // strtoll saturates on overflow
}

int ClampToInt(int64_t value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

int ReadIntAttribute(const TiXmlElement* element, const char* name) {
    return ClampToInt(ReadInt64Attribute(element, name));
}

// Counts element nesting the way the parser builds it; markup that is no element ("<?", "<!")
// counts as one level too, which only ever overestimates.
bool XmlNestingWithin(const char* text, int limit) {
    if (!text) return true;
    int depth = 0;
    for (const char* p = text; *p; ++p) {
        if (*p != '<') continue;
        if (p[1] == '/') {
            if (depth > 0) --depth;
            continue;
        }
        // Find the end of the tag, outside quoted attribute values.
        char quote = 0;
        const char* q = p + 1;
        for (; *q; ++q) {
            if (quote) {
                if (*q == quote) quote = 0;
            } else if (*q == '"' || *q == '\'') {
                quote = *q;
            } else if (*q == '>') {
                break;
            }
        }
        bool selfClosing = *q == '>' && q[-1] == '/' && !quote;
        if (!selfClosing && ++depth > limit) return false;
        if (!*q) break;
        p = q;
    }
    return true;
}
