#include "sms/CPduTableRow.h"

#include "sms/CPartTableRow.h"
#include "sms/SmsRowAs.h"

bool CPduTableRow::Equals(const CTableRow* other) const {
    auto* row = SmsRowAs<const CPduTableRow>(other);
    return row && row->id == id && row->threadId == threadId && row->date == date &&
           row->messageBox == messageBox && row->subject == subject && row->subjectCharset == subjectCharset &&
           row->multipartKind == multipartKind;
}

std::string CPduTableRow::ToString() const { return (messageBox == 1 ? "RECV(MMS): " : "SEND(MMS): ") + subject; }

void CPduTableRow::AddPart(CTableRow* part) {
    auto* added = SmsRowAs<CPartTableRow>(part);
    if (!added) return;
    if (added->live) {
        parts.push_back(added);
        return;
    }
    for (size_t i = 0; i < parts.size();) {
        auto* held = static_cast<CPartTableRow*>(parts[i]);
        if (held->SameContent(added)) return;
        bool textKind = held->contentClass == kPartPlainText || held->contentClass == kPartSmil;
        if (held->contentClass == added->contentClass && textKind && held->Location() == added->Location()) {
            const std::string& longer = held->text.size() >= added->text.size() ? held->text : added->text;
            const std::string& shorter = held->text.size() >= added->text.size() ? added->text : held->text;
            if (longer.find(shorter) != std::string::npos) {
                if (added->text.size() < held->text.size()) return;
                parts.erase(parts.begin() + static_cast<long>(i));
                continue;
            }
        }
        ++i;
    }
    parts.push_back(added);
}
