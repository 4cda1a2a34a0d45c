#include "SmsXmlAttributes.h"

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
