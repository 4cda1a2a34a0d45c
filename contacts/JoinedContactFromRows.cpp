#include "contacts/JoinedContactFromRows.h"

#include "contacts/tables/CDataTableContactEventRow.h"
#include "contacts/tables/CDataTableEmailV2Row.h"
#include "contacts/tables/CDataTableGroupMembershipRow.h"
#include "contacts/tables/CDataTableIMRow.h"
#include "contacts/tables/CDataTableNameRow.h"
#include "contacts/tables/CDataTableNicknameRow.h"
#include "contacts/tables/CDataTableNoteRow.h"
#include "contacts/tables/CDataTableOrganizationRow.h"
#include "contacts/tables/CDataTablePhoneV2Row.h"
#include "contacts/tables/CDataTablePhotoRow.h"
#include "contacts/tables/CDataTablePostalAddressRow.h"
#include "contacts/tables/CDataTableRelationRow.h"
#include "contacts/tables/CDataTableSipAddressRow.h"
#include "contacts/tables/CDataTableWebsiteRow.h"
#include "contacts/tables/CGroupsTableRow.h"
#include "contacts/tables/CRawContactsTableRow.h"

namespace {

template <class Row>
bool Typed(const CDataTableRow* row, JoinedField& field, const std::string Row::*value) {
    const Row* typed = dynamic_cast<const Row*>(row);
    if (!typed) return false;
    field.value = typed->*value;
    field.type = typed->type;
    field.label = typed->label;
    return true;
}

bool Fill(const CDataTableRow* row, JoinedField& field) {
    switch (row->dataKind) {
    case kDataName:
        if (auto* name = dynamic_cast<const CDataTableNameRow*>(row)) {
            field.value = name->displayName;
            field.familyName = name->familyName;
            field.givenName = name->givenName;
            field.middleName = name->middleName;
            field.namePrefix = name->prefix;
            field.nameSuffix = name->suffix;
            return true;
        }
        return false;
    case kDataPhoto:
        if (auto* photo = dynamic_cast<const CDataTablePhotoRow*>(row)) {
            field.bytes = photo->bytes;
            return true;
        }
        return false;
    case kDataNickname: return Typed(row, field, &CDataTableNicknameRow::name);
    case kDataPhone:
        if (!Typed(row, field, &CDataTablePhoneV2Row::number)) return false;
        field.normalizedNumber = static_cast<const CDataTablePhoneV2Row*>(row)->normalizedNumber;
        return true;
    case kDataEmail: return Typed(row, field, &CDataTableEmailV2Row::address);
    case kDataIm:
        if (!Typed(row, field, &CDataTableIMRow::handle)) return false;
        field.protocol = static_cast<const CDataTableIMRow*>(row)->protocol;
        field.customProtocol = static_cast<const CDataTableIMRow*>(row)->customProtocol;
        return true;
    case kDataOrganization:
        if (!Typed(row, field, &CDataTableOrganizationRow::company)) return false;
        field.title = static_cast<const CDataTableOrganizationRow*>(row)->title;
        return true;
    case kDataPostal: return Typed(row, field, &CDataTablePostalAddressRow::formattedAddress);
    case kDataGroupMembership:
        if (auto* member = dynamic_cast<const CDataTableGroupMembershipRow*>(row)) {
            field.value = member->groupRowId;
            for (const CGroupsTableRow* group : member->groups)
                if (group) field.groups.push_back(JoinedGroup{group->title, group->live != 0, group->deleted});
            return true;
        }
        return false;
    case kDataContactEvent: return Typed(row, field, &CDataTableContactEventRow::date);
    case kDataWebsite: return Typed(row, field, &CDataTableWebsiteRow::url);
    case kDataRelation: return Typed(row, field, &CDataTableRelationRow::name);
    case kDataSipAddress: return Typed(row, field, &CDataTableSipAddressRow::address);
    case kDataNote:
        if (auto* note = dynamic_cast<const CDataTableNoteRow*>(row)) {
            field.value = note->note;
            return true;
        }
        return false;
    default: return false;
    }
}

}  // namespace

JoinedContact JoinedContactFromRows(const CRawContactsTableRow& raw, const std::vector<CTableRow*>& rows) {
    JoinedContact contact;
    contact.rawLive = raw.live != 0;
    contact.rawDeleted = raw.deleted;
    contact.rawId = raw.id;
    contact.contactId = raw.contactId;
    contact.rawName = raw.displayName.empty() ? raw.displayNameAlt : raw.displayName;
    contact.fields.reserve(rows.size());
    for (const CTableRow* row : rows) {
        const CDataTableRow* data = dynamic_cast<const CDataTableRow*>(row);
        if (!data) continue;
        JoinedField field;
        field.live = data->live != 0;
        field.earlier = data->earlier;
        field.kind = Fill(data, field) ? data->dataKind : FIELD_UNKNOWN;
        contact.fields.push_back(std::move(field));
    }
    return contact;
}
