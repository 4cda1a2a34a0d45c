#include "sms/CPartTableRow.h"

#include "sms/SmsRowAs.h"

bool CPartTableRow::Equals(const CTableRow* other) const {
    auto* row = SmsRowAs<const CPartTableRow>(other);
    return row && row->id == id && row->messageId == messageId && row->sequence == sequence &&
           row->contentClass == contentClass && row->charset == charset &&
           row->contentLocation == contentLocation && row->dataPath == dataPath && row->text == text &&
           row->contentId == contentId && row->name == name && row->fileName == fileName;
}

bool CPartTableRow::SameContent(const CTableRow* other) const {
    auto* row = SmsRowAs<const CPartTableRow>(other);
    return row && row->contentClass == contentClass && row->Location() == Location() &&
           row->dataPath == dataPath && row->text == text;
}

const std::string& CPartTableRow::Location() const {
    if (!contentLocation.empty()) return contentLocation;
    if (!contentId.empty()) return contentId;
    if (!name.empty()) return name;
    return fileName;
}
