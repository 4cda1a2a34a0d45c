#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What the per-contact XML reads of one joined contact: its raw contact and its data rows in join
// order, each reduced to the fields the document shows. Made from the join's result entries.

// The data kinds of the contacts database (its DataKind numbers), which also order a contact's rows.
enum FieldKind : int32_t {
    FIELD_NAME = 0,
    FIELD_PHOTO = 1,
    FIELD_NICKNAME = 2,
    FIELD_PHONE = 3,
    FIELD_EMAIL = 4,
    FIELD_IM = 5,
    FIELD_ORGANIZATION = 6,
    FIELD_POSTAL = 7,
    FIELD_GROUP_MEMBERSHIP = 8,
    FIELD_CONTACT_EVENT = 9,
    FIELD_WEBSITE = 10,
    FIELD_RELATION = 11,
    FIELD_SIP_ADDRESS = 12,
    FIELD_NOTE = 13,
    FIELD_IDENTITY = 14,
    FIELD_UNKNOWN = 15,
};

// A groups row attached to a membership.
struct JoinedGroup {
    std::string title;
    bool live = false;
    int64_t deleted = 0;
};

struct JoinedField {
    int32_t kind = FIELD_UNKNOWN;
    bool live = false;
    bool earlier = false;  // a live field's value before an edit
    // The main value: display name, nickname, number, address, handle, company, formatted
    // address, date, url, SIP address, note text, relation name.
    std::string value;
    int32_t type = 0;
    std::string label;
    std::string title;             // organization
    int32_t protocol = 0;          // IM
    std::string customProtocol;    // IM
    std::string normalizedNumber;  // phone
    // name: the structured parts beside the display name
    std::string familyName, givenName, middleName, namePrefix, nameSuffix;
    std::vector<unsigned char> bytes;  // photo
    std::vector<JoinedGroup> groups;   // group membership
};

struct JoinedContact {
    bool rawLive = false;
    int64_t rawDeleted = 0;
    int64_t rawId = 0;
    int64_t contactId = 0;
    std::string rawName;  // the raw contact's display name (else its alternative one)
    std::vector<JoinedField> fields;
};
