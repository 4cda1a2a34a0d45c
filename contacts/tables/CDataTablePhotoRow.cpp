#include "contacts/tables/CDataTablePhotoRow.h"

bool CDataTablePhotoRow::Equals(const CTableRow* other) const {
    auto* o = dynamic_cast<const CDataTablePhotoRow*>(other);
    return o && SameKeys(o) &&
           o->byteCount == byteCount &&
           o->bytes == bytes;
}

bool CDataTablePhotoRow::SameValue(const CDataTableRow* other) const {
    auto* o = dynamic_cast<const CDataTablePhotoRow*>(other);
    return o && (o->byteCount == byteCount && o->bytes == bytes);
}

std::string CDataTablePhotoRow::ToString() const {
    return "Photo:" + std::string("YES:");
}
