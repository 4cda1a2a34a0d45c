#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "contacts/tables/CDataTableRow.h"

// A photo row: the thumbnail bytes (data15) and the id of the large photo file (data14).
class CDataTablePhotoRow : public CDataTableRow {
public:
    CDataTablePhotoRow() : CDataTableRow(kDataPhoto) {}
    bool Equals(const CTableRow* other) const override;
    std::string ToString() const override;
    bool SameValue(const CDataTableRow* other) const override;

    int64_t photoFileId = 0;  // data14
    int32_t byteCount = 0;  // bytes in data15
    std::vector<uint8_t> bytes;  // data15, copied
};
