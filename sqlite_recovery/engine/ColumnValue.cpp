#include "sqlite_recovery/engine/ColumnValue.h"

#include <cstring>

#include "sqlite_recovery/framework/TextUtils.h"

ColumnValue& ColumnValue::operator=(const ColumnValue& other) {
    if (this == &other) return *this;
    kind = other.kind;
    length = other.length;
    text = other.text;
    std::memcpy(inlineValue, other.inlineValue, sizeof inlineValue);
    // Data held in the value itself follows the copy.
    data = other.data == other.inlineValue ? inlineValue : other.data;
    storedLength = other.storedLength;
    serialType = other.serialType;
    return *this;
}

int64_t ColumnValue::ToInt64() const {
    switch (length) {
        case 1:
        case 2:
        case 4: {
            int64_t v;
            std::memcpy(&v, inlineValue, sizeof v);
            return v;
        }
        case 3:
        case 5:
        case 6:
        case 7:
        case 8: {
            uint64_t v = 0;
            for (uint32_t i = 0; i < length; ++i) v = (v << 8) | inlineValue[i];
            if (length < 8 && (inlineValue[0] & 0x80)) v |= ~uint64_t(0) << (8 * length);
            return static_cast<int64_t>(v);
        }
        default: return 0;
    }
}

std::string ColumnValue::ToText() const {
    if (kind != kColumnText || length == 0 || !data) return std::string();
    const char* bytes = reinterpret_cast<const char*>(data);
    return std::string(bytes, SkipValidUtf8(bytes, length));
}

double ColumnValue::ToDouble() const {
    if (serialType != 7 || length != 8) return 0.0;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits = (bits << 8) | inlineValue[i];
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}
