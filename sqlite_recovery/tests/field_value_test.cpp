#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "sqlite_recovery/controller/FieldValue.h"

namespace {
// A value as the reader leaves it: the stored big-endian bytes at the start of the store.
FieldValue Stored(int kind, std::initializer_list<uint8_t> bytes) {
    FieldValue v;
    v.kind = kind;
    v.length = static_cast<uint32_t>(bytes.size());
    size_t i = 0;
    for (uint8_t b : bytes) v.store[i++] = b;
    return v;
}
// A 2- or 4-byte integer: held in host order, sign-extended.
FieldValue HostOrder(int64_t value, uint32_t length) {
    FieldValue v;
    v.kind = FieldValue::SmallInteger;
    v.length = length;
    std::memcpy(v.store, &value, sizeof value);
    return v;
}
}  // namespace

TEST(FieldValueTest, IntegersOfEveryWidthAreSignExtended) {
    EXPECT_EQ(Stored(FieldValue::SmallInteger, {0x01, 0x02, 0x03}).ToInt64(), 66051);
    EXPECT_EQ(Stored(FieldValue::SmallInteger, {0xFF}).ToInt64(), -1);
    EXPECT_EQ(Stored(FieldValue::SmallInteger, {0x7F}).ToInt64(), 127);
    EXPECT_EQ(Stored(FieldValue::SmallInteger, {0xFF, 0xFF, 0xFE}).ToInt64(), -2);
    EXPECT_EQ(HostOrder(-300, 2).ToInt64(), -300);
    EXPECT_EQ(HostOrder(-70000, 4).ToInt64(), -70000);
    EXPECT_EQ(Stored(FieldValue::WideNumber, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}).ToInt64(), -1);
    EXPECT_EQ(Stored(FieldValue::WideNumber, {0x00, 0x01, 0x00, 0x00, 0x00, 0x00}).ToInt64(), 1LL << 32);
    EXPECT_EQ(Stored(FieldValue::WideNumber, {0x80, 0, 0, 0, 0, 0, 0, 0}).ToInt64(),
              std::numeric_limits<int64_t>::min());
    EXPECT_EQ(Stored(FieldValue::WideNumber, {0, 0, 0, 0, 0, 0, 0x30, 0x39}).ToInt64(), 12345);
    for (int64_t v : {0LL, 1LL, -1LL, 127LL, -129LL, 40000LL, -3000000000LL, 1LL << 40})
        EXPECT_EQ(FieldValue::MakeInteger(v).ToInt64(), v) << v;
}

TEST(FieldValueTest, RealIsConvertedByValue) {
    EXPECT_EQ(FieldValue::MakeReal(3.75).ToInt64(), 3);
    EXPECT_EQ(FieldValue::MakeReal(-2.5).ToInt64(), -2);
    EXPECT_EQ(FieldValue::MakeReal(1e300).ToInt64(), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(FieldValue::MakeReal(std::numeric_limits<double>::quiet_NaN()).ToInt64(), 0);
}

TEST(FieldValueTest, OtherLengthsAndKindsGiveZero) {
    FieldValue nine = Stored(FieldValue::WideNumber, {1, 2, 3, 4, 5, 6, 7, 8});
    nine.length = 9;
    EXPECT_EQ(nine.ToInt64(), 0);
    EXPECT_EQ(Stored(FieldValue::SmallInteger, {}).ToInt64(), 0);
    EXPECT_EQ(FieldValue::MakeText("12", 2).ToInt64(), 0);
    EXPECT_EQ(FieldValue().ToInt64(), 0);
    EXPECT_TRUE(FieldValue::MakeInteger(0).IsPresent());
    EXPECT_FALSE(FieldValue().IsPresent());
    EXPECT_FALSE(FieldValue::MakeText("", 0).IsPresent());
}

TEST(FieldValueTest, TextIsCountedAndCutAtBadUtf8) {
    // No terminator after the value: only its own bytes are looked at.
    const char bytes[] = {'a', 'b', '\xc3', '\xa9', 'c', 'd', 'e'};
    EXPECT_EQ(FieldValue::MakeText(bytes, 5).ToText(), "ab\xc3\xa9" "c");
    EXPECT_EQ(FieldValue::MakeText(bytes, 3).ToText(), "ab");  // a sequence cut by the length
    const char bad[] = {'x', '\xc0', '\x80', 'y'};
    EXPECT_EQ(FieldValue::MakeText(bad, 4).ToText(), "x");
    EXPECT_EQ(FieldValue::MakeBlob(bytes, 5).ToText(), "");
    EXPECT_EQ(FieldValue::MakeInteger(5).ToText(), "");
    FieldValue noData = FieldValue::MakeText(nullptr, 4);
    EXPECT_EQ(noData.ToText(), "");
}
