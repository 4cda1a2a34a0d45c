#pragma once
#include <cstdint>
#include <string>

// Base of every table row. Rows belong to the analyser that built them.
class CTableRow {
public:
    explicit CTableRow(int32_t kind) : tableKind(kind) {}
    CTableRow(const CTableRow&) = delete;
    CTableRow& operator=(const CTableRow&) = delete;

    virtual void Release() { delete this; }
    // Same class and the same values; the live flag never takes part.
    virtual bool Equals(const CTableRow* other) const = 0;
    // The row's display text.
    virtual std::string ToString() const = 0;
    virtual ~CTableRow() {}

    // 1 when the row comes from a record reached through the live b-tree, 0 when it was recovered
    // or is no longer live.
    uint8_t live = 0;
    const int32_t tableKind;
    int64_t id = 0;
};
