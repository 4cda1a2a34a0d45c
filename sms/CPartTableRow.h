#pragma once
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "sms/SmsTableKinds.h"

class CPartTableRow : public CTableRow {
public:
    // The kind of its rows, which no other class gives (see SmsRowAs).
    static constexpr int32_t kKind = kPartKind;
    CPartTableRow() : CTableRow(kKind) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override { return contentLocation + dataPath + text; }
    // The same content class, location, data path and text; ids, mid, seq and charset aside.
    virtual bool SameContent(const CTableRow* other) const;

    // The name by which the presentation refers to the part: "cl", else "cid" without its angle
    // brackets, else "name", else "fn".
    const std::string& Location() const;

    int64_t messageId = 0;  // "mid"
    int64_t sequence = 0;
    int contentClass = 0;
    int64_t charset = 0;
    std::string contentLocation;  // "cl"
    std::string dataPath;         // "_data"
    std::string text;
    bool cut = false;             // the text is only the part of it that could be read
    std::string contentId;        // "cid", angle brackets removed
    std::string name;
    std::string fileName;         // "fn"
};
