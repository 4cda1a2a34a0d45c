#pragma once
#include <cstdint>
#include <string>

// The tables of the contacts database that the recovery reads, as a row's TableKind.
enum ContactTableKind : int32_t {
    kTableMimetypes = 0,
    kTableContacts = 1,
    kTableRawContacts = 2,
    kTableGroups = 3,
    kTableData = 4,
    kTablePhoneLookup = 5,
    kTableSearchIndexContent = 6,
};

// What a data row holds, chosen by its mimetype; the order in which a contact's rows are shown.
enum DataKind : int32_t {
    kDataName = 0,
    kDataPhoto = 1,
    kDataNickname = 2,
    kDataPhone = 3,
    kDataEmail = 4,
    kDataIm = 5,
    kDataOrganization = 6,
    kDataPostal = 7,
    kDataGroupMembership = 8,
    kDataContactEvent = 9,
    kDataWebsite = 10,
    kDataRelation = 11,
    kDataSipAddress = 12,
    kDataNote = 13,
    kDataIdentity = 14,
    kDataUnknown = 15,
};

// The DataKind of a mimetype text (exact comparison); kDataUnknown when it is none of the fifteen.
int32_t MimetypeKindOf(const std::string& mimetype);
// The mimetype text of a kind; empty for kDataUnknown and out-of-range values.
std::string MimetypeOfKind(int32_t kind);
// The source kind of a raw contact's display_name_source: 10 -> 1, 35 -> 2, 30 -> 3, 20 -> 4,
// 40 -> 5, anything else 0.
int32_t DisplayNameSourceKind(int64_t displayNameSource);
// A decimal number as the C library's 64-bit atoi reads it: leading blanks and a sign, digits up
// to the first other byte, 0 without digits (saturating instead of overflowing).
int64_t ParseDecimalInt64(const std::string& text);
