#pragma once
#include <cstdint>
#include <string>

// Kinds of a decoded column.
enum ColumnKind : int {
    kColumnNull = 0,
    kColumnInt = 1,      // serial types 1 to 4
    kColumnInt64 = 2,    // serial types 5, 6 and 7 (a REAL is kept as its 8 stored bytes)
    kColumnBlob = 4,
    kColumnText = 5,
    kColumnConst = 6,    // serial types 8 and 9
};

// One decoded column value. TEXT and BLOB data point into the reader's page buffer or the
// engine's overflow buffer and stay valid until the reader decodes or reads another page.
struct ColumnValue {
    int kind = kColumnNull;
    uint32_t length = 0;        // bytes delivered at data (whole, up to a cap of many MiB)
    std::string text;           // left empty by the reader
    uint8_t inlineValue[8] = {};
    const uint8_t* data = nullptr;
    uint64_t storedLength = 0;  // bytes the value takes in the record
    uint64_t serialType = 0;

    ColumnValue() = default;
    ColumnValue(const ColumnValue& other) { *this = other; }
    ColumnValue& operator=(const ColumnValue& other);

    // Integer by length: 1, 2 and 4 bytes as the inline store holds them, 3 and 5 to 8 bytes from
    // their stored big-endian bytes (sign-extended); other lengths 0.
    int64_t ToInt64() const;
    // The TEXT bytes up to the first byte that is not well-formed UTF-8; empty for other kinds.
    std::string ToText() const;
    // The value of serial type 7; 0 for any other value.
    double ToDouble() const;
    bool HasData() const { return data != nullptr; }
};
