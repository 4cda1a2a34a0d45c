#pragma once
#include <cstdint>
#include <string>

// One decoded column value as the table analysers read it. It mirrors the reader's decoded
// column: 2- and 4-byte integers sit in the inline store in host order, sign-extended; every other
// integer length keeps its stored big-endian bytes at the start of the store; the constants 0 and
// 1 are held in the store as a 64-bit integer, with length 1. TEXT and BLOB bytes are at data.
struct FieldValue {
    enum Kind : int { Null = 0, SmallInteger = 1, WideNumber = 2, Blob = 4, Text = 5, Constant = 6 };

    int kind = Null;
    uint32_t length = 0;      // bytes of the value as delivered
    bool isReal = false;      // a floating-point value (8 stored bytes)
    bool cut = false;         // a TEXT or BLOB delivered shorter than the record stores it
    uint8_t store[8] = {};    // the inline value
    const char* data = nullptr;

    // A value is present when it has bytes; the constants 0 and 1 count as one byte.
    bool IsPresent() const { return length != 0; }
    // The integer form: integers sign-extended whatever their width, a REAL truncated towards zero
    // (saturating), anything else 0.
    int64_t ToInt64() const;
    // The text form: only a TEXT value gives text, its bytes cut before the first one that does not
    // continue well-formed UTF-8.
    std::string ToText() const;

    static FieldValue MakeNull() { return FieldValue(); }
    static FieldValue MakeInteger(int64_t value);
    static FieldValue MakeReal(double value);
    static FieldValue MakeText(const char* bytes, uint32_t length);
    static FieldValue MakeBlob(const void* bytes, uint32_t length);
};
