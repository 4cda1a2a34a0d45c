#include "sqlite_recovery/controller/FieldValue.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "sqlite_recovery/framework/TextUtils.h"

namespace {
int64_t BigEndianSigned(const uint8_t* bytes, unsigned count) {
    uint64_t value = 0;
    for (unsigned i = 0; i < count; ++i) value = (value << 8) | bytes[i];
    unsigned shift = 64 - 8 * count;
    // Shift the sign bit to the top and back (arithmetic shift on a signed value).
    return shift == 0 ? static_cast<int64_t>(value) : static_cast<int64_t>(value << shift) >> shift;
}

int64_t StoreAsInt64(const uint8_t* store) {
    int64_t value;
    std::memcpy(&value, store, sizeof value);
    return value;
}

int64_t Truncate(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 9223372036854775807.0) return std::numeric_limits<int64_t>::max();
    if (value <= -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(value);
}
}  // namespace

int64_t FieldValue::ToInt64() const {
    switch (kind) {
    case Constant:
        return StoreAsInt64(store);
    case SmallInteger:
    case WideNumber:
        break;
    default:
        return 0;
    }
    switch (length) {
    case 1:
        return static_cast<int8_t>(store[0]);
    case 2:
    case 4:
        return StoreAsInt64(store);
    case 3:
    case 5:
    case 6:
    case 7:
        return BigEndianSigned(store, length);
    case 8:
        if (isReal) {
            uint64_t bits = static_cast<uint64_t>(BigEndianSigned(store, 8));
            double real;
            std::memcpy(&real, &bits, sizeof real);
            return Truncate(real);
        }
        return BigEndianSigned(store, 8);
    default:
        return 0;
    }
}

std::string FieldValue::ToText() const {
    if (kind != Text || length == 0 || !data) return std::string();
    // The bytes carry no terminator: copy the counted value first, then validate within it.
    std::string text(data, length);
    text.resize(SkipValidUtf8(text.data(), text.size()));
    return text;
}

FieldValue FieldValue::MakeInteger(int64_t value) {
    FieldValue v;
    if (value == 0 || value == 1) {
        v.kind = Constant;
        v.length = 1;
        std::memcpy(v.store, &value, sizeof value);
        return v;
    }
    uint64_t bits = static_cast<uint64_t>(value);
    if (value >= -32768 && value <= 32767) {
        v.kind = SmallInteger;
        v.length = value >= -128 && value <= 127 ? 1 : 2;
        if (v.length == 1) {
            v.store[0] = static_cast<uint8_t>(bits);
        } else {
            std::memcpy(v.store, &value, sizeof value);
        }
        return v;
    }
    if (value >= -2147483648LL && value <= 2147483647LL) {
        v.kind = SmallInteger;
        v.length = 4;
        std::memcpy(v.store, &value, sizeof value);
        return v;
    }
    v.kind = WideNumber;
    v.length = 8;
    for (int i = 0; i < 8; ++i) v.store[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    return v;
}

FieldValue FieldValue::MakeReal(double value) {
    FieldValue v;
    v.kind = WideNumber;
    v.length = 8;
    v.isReal = true;
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) v.store[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    return v;
}

FieldValue FieldValue::MakeText(const char* bytes, uint32_t length) {
    FieldValue v;
    v.kind = Text;
    v.length = length;
    v.data = bytes;
    return v;
}

FieldValue FieldValue::MakeBlob(const void* bytes, uint32_t length) {
    FieldValue v;
    v.kind = Blob;
    v.length = length;
    v.data = static_cast<const char*>(bytes);
    return v;
}
