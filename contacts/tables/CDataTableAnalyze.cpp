#include "contacts/tables/CDataTableAnalyze.h"

#include <algorithm>
#include <cctype>
#include <new>

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
#include "contacts/tables/CMimetypesTableAnalyze.h"
#include "contacts/tables/CMimetypesTableRow.h"
#include "contacts/tables/ContactTableRules.h"
#include "sqlite_recovery/framework/TextUtils.h"

namespace {
constexpr int D(int n) { return 4 + n - 1; }  // column slot of dataN

// The types a builder gives when data2 is absent: each kind's "other" type.
constexpr int32_t kAbsentNicknameType = 1;
constexpr int32_t kAbsentPhoneType = 7;
constexpr int32_t kAbsentEmailType = 3;
constexpr int32_t kAbsentOrganizationType = 2;
constexpr int32_t kAbsentPostalType = 3;
constexpr int32_t kAbsentEventType = 2;
constexpr int32_t kAbsentWebsiteType = 7;
constexpr int32_t kAbsentRelationType = 0;
constexpr int32_t kAbsentSipType = 3;

bool IsNameStyle(int64_t style) { return style == 0 || style == 3 || style == 4 || style == 5; }

// Whether the text starts, after blanks and a sign, with a digit.
bool HoldsNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

template <class Row>
Row* NewRow() {
    return new (std::nothrow) Row();
}

// Kinds whose duplicates are older versions of a row of the raw contact, not equal rows.
bool IsVersionedKind(int32_t kind) { return kind == kDataNickname || kind == kDataPhoto; }
}  // namespace

CDataTableAnalyze::CDataTableAnalyze(CMimetypesTableAnalyze* mimetypes, CGroupsTableAnalyze* groups)
    : CTableAnalyze("data"), mimetypes_(mimetypes), groups_(groups) {}

int CDataTableAnalyze::RowMapOfKind(int32_t kind) {
    static const int kMaps[] = {6, 9, 2, 4, 0, 1, 3, 7, 8, 10, 12, -1, 5, 11};
    return kind >= 0 && kind < static_cast<int32_t>(sizeof kMaps / sizeof kMaps[0]) ? kMaps[kind] : -1;
}

int32_t DataKindOfMimetypeId(CMimetypesTableAnalyze* mimetypes, int64_t id) {
    if (!mimetypes) return kDataUnknown;
    RowMultimap* rows = mimetypes->GetRows(0);
    auto found = rows->find(id);
    if (found == rows->end()) return kDataUnknown;
    return static_cast<CMimetypesTableRow*>(found->second)->dataKind;
}

void CDataTableAnalyze::LookupColumns(ISQLiteTable* table) {
    static const char* const kNames[kColumnCount] = {
        "_id",    "mimetype_id", "raw_contact_id", "data_version", "data1",  "data2",  "data3",
        "data4",  "data5",       "data6",          "data7",        "data8",  "data9",  "data10",
        "data11", "data12",      "data13",         "data14",       "data15"};
    for (int c = 0; c < kColumnCount; ++c) columns_[c] = table->FindColumn(kNames[c]);
}

ResultCode CDataTableAnalyze::BuildRows(ISQLiteTable* table, int count, bool live) {
    IndexFiledRows();
    // The indexes serve one batch: made from the multimaps now, given back at its end.
    struct Batch {
        CDataTableAnalyze* analyzer;
        ~Batch() { analyzer->ForgetIndexes(); }
    } batch{this};
    LookupColumns(table);
    table_ = table;
    live_ = live;
    for (int i = 0; i < count; ++i) {
        if (IsCancelled()) return RK_FAIL(RK_E_CANCELLED);
        record_ = i;
        FieldValue value;
        if (!Read(kMimetypeId, &value)) continue;
        int32_t kind = DataKindOfMimetypeId(mimetypes_, value.ToInt64());
        if (kind == kDataUnknown) continue;
        CDataTableRow* row = BuildDataRow(kind, i);
        if (!row) continue;
        row->live = live ? 1 : 0;
        row->dataKind = kind;
        if (!ReadInt64(table, i, columns_[kId], live, &row->id) ||
            !ReadInt64(table, i, columns_[kRawContactId], live, &row->rawContactId) ||
            !ReadInt64(table, i, columns_[kDataVersion], live, &row->dataVersion)) {
            row->Release();
            continue;
        }
        PlaceDataRow(row);
    }
    return RK_OK;
}

namespace {
// Carving can turn bytes that were never a row into one; a stored text has no control bytes
// other than tabs and line ends, so a recovered one that has them is no text.
bool HasControlBytes(const std::string& text) {
    for (unsigned char c : text)
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7F) return true;
    return false;
}
}  // namespace

bool CDataTableAnalyze::Read(int column, FieldValue* value) {
    return table_ && ReadValue(table_, record_, columns_[column], live_, value);
}

bool CDataTableAnalyze::RequiredText(int column, std::string* out) {
    FieldValue value;
    if (!Read(column, &value) || !value.IsPresent()) return false;
    *out = value.ToText();
    return !out->empty() && !IsBlankText(*out) && (live_ || !HasControlBytes(*out));
}

bool CDataTableAnalyze::OptionalText(int column, std::string* out, bool notBlank) {
    FieldValue value;
    if (!Read(column, &value)) return false;
    out->clear();
    if (!value.IsPresent()) return true;
    *out = value.ToText();
    return !out->empty() && !(notBlank && IsBlankText(*out)) && (live_ || !HasControlBytes(*out));
}

bool CDataTableAnalyze::Number(int column, int64_t low, int64_t high, bool* present, int64_t* out) {
    FieldValue value;
    if (!Read(column, &value)) return false;
    *present = value.IsPresent();
    if (!*present) return true;
    std::string text = value.ToText();
    if (text.empty()) return false;
    *out = ParseDecimalInt64(text);
    return *out >= low && *out <= high;
}

bool CDataTableAnalyze::TypeAndLabel(int typeColumn, int labelColumn, int64_t low, int64_t high, int32_t absentType,
                                     bool typeRequired, int32_t* type, std::string* label) {
    bool present = false;
    int64_t number = 0;
    if (!Number(typeColumn, low, high, &present, &number)) return false;
    if (!present && typeRequired) return false;
    *type = present ? static_cast<int32_t>(number) : absentType;
    label->clear();
    if (*type != 0) return true;
    FieldValue value;
    if (!Read(labelColumn, &value)) return false;
    if (value.IsPresent()) *label = value.ToText();
    if (IsBlankText(*label)) label->clear();
    return true;
}

template <class Row>
CDataTableRow* CDataTableAnalyze::Build(bool (CDataTableAnalyze::*fill)(Row&)) {
    Row* row = NewRow<Row>();
    if (!row) return nullptr;
    if (!(this->*fill)(*row)) {
        row->Release();
        return nullptr;
    }
    return row;
}

CDataTableRow* CDataTableAnalyze::BuildDataRow(int32_t kind, int record) {
    record_ = record;
    switch (kind) {
    case kDataName: return Build(&CDataTableAnalyze::FillName);
    case kDataPhoto: return Build(&CDataTableAnalyze::FillPhoto);
    case kDataNickname: return Build(&CDataTableAnalyze::FillNickname);
    case kDataPhone: return Build(&CDataTableAnalyze::FillPhone);
    case kDataEmail: return Build(&CDataTableAnalyze::FillEmail);
    case kDataIm: return Build(&CDataTableAnalyze::FillIm);
    case kDataOrganization: return Build(&CDataTableAnalyze::FillOrganization);
    case kDataPostal: return Build(&CDataTableAnalyze::FillPostalAddress);
    case kDataGroupMembership: return Build(&CDataTableAnalyze::FillGroupMembership);
    case kDataContactEvent: return Build(&CDataTableAnalyze::FillContactEvent);
    case kDataWebsite: return Build(&CDataTableAnalyze::FillWebsite);
    case kDataRelation: return Build(&CDataTableAnalyze::FillRelation);
    case kDataSipAddress: return Build(&CDataTableAnalyze::FillSipAddress);
    case kDataNote: return Build(&CDataTableAnalyze::FillNote);
    default: return nullptr;
    }
}

bool CDataTableAnalyze::FillName(CDataTableNameRow& row) {
    bool present = false;
    int64_t fullStyle = 0, phoneticStyle = 0;
    bool ok = RequiredText(D(1), &row.displayName) && OptionalText(D(2), &row.givenName) &&
              OptionalText(D(3), &row.familyName) && OptionalText(D(4), &row.prefix) &&
              OptionalText(D(5), &row.middleName) && OptionalText(D(6), &row.suffix) &&
              OptionalText(D(7), &row.phoneticGivenName) && OptionalText(D(8), &row.phoneticMiddleName) &&
              OptionalText(D(9), &row.phoneticFamilyName);
    // Sync adapters leave both styles NULL: absent means undefined (0), on live and recovered
    // rows alike; a style that is there must be one.
    ok = ok && Number(D(10), 0, 5, &present, &fullStyle);
    ok = ok && Number(D(11), 0, 5, &present, &phoneticStyle) && IsNameStyle(phoneticStyle);
    if (!ok) return false;
    row.fullNameStyle = static_cast<int32_t>(fullStyle);
    row.phoneticNameStyle = static_cast<int32_t>(phoneticStyle);
    return true;
}

bool CDataTableAnalyze::FillPhoto(CDataTablePhotoRow& row) {
    FieldValue fileId, bytes;
    bool ok = Read(D(14), &fileId) && Read(D(15), &bytes) && bytes.kind == FieldValue::Blob &&
              bytes.length != 0 && bytes.data;
    if (!ok) return false;
    std::string fileText = fileId.IsPresent() ? fileId.ToText() : std::string();
    row.photoFileId = fileText.empty() ? 0 : ParseDecimalInt64(fileText);
    row.bytes.assign(reinterpret_cast<const uint8_t*>(bytes.data),
                     reinterpret_cast<const uint8_t*>(bytes.data) + bytes.length);
    row.byteCount = static_cast<int32_t>(bytes.length);
    return true;
}

bool CDataTableAnalyze::FillNickname(CDataTableNicknameRow& row) {
    return RequiredText(D(1), &row.name) &&
           TypeAndLabel(D(2), D(3), 0, 5, kAbsentNicknameType, false, &row.type, &row.label);
}

bool CDataTableAnalyze::FillPhone(CDataTablePhoneV2Row& row) {
    bool ok = RequiredText(D(1), &row.number) && (live_ || IsPhoneNumberText(row.number)) &&
              TypeAndLabel(D(2), D(3), 0, 20, kAbsentPhoneType, false, &row.type, &row.label) &&
              OptionalText(D(4), &row.normalizedNumber);
    if (!ok) return false;
    if (version_.major <= 2) ReverseString(row.normalizedNumber);
    return true;
}

bool CDataTableAnalyze::FillEmail(CDataTableEmailV2Row& row) {
    // A live address without a type is kept (sync adapters leave data2 NULL).
    return RequiredText(D(1), &row.address) && (live_ || IsEmailAddress(row.address)) &&
           TypeAndLabel(D(2), D(3), 0, 4, kAbsentEmailType, !live_, &row.type, &row.label);
}

bool CDataTableAnalyze::FillIm(CDataTableIMRow& row) {
    bool present = false;
    int64_t protocol = 0;
    bool ok = RequiredText(D(1), &row.handle) &&
              TypeAndLabel(D(2), D(3), -1, 8, 0, true, &row.type, &row.label) &&
              Number(D(5), -1, 8, &present, &protocol) && present;
    if (ok && protocol == -1) {
        FieldValue custom;
        ok = Read(D(6), &custom);
        if (ok && custom.IsPresent()) row.customProtocol = custom.ToText();
        if (IsBlankText(row.customProtocol)) row.customProtocol.clear();
    }
    if (!ok) return false;
    row.protocol = static_cast<int32_t>(protocol);
    return true;
}

bool CDataTableAnalyze::FillOrganization(CDataTableOrganizationRow& row) {
    bool present = false;
    int64_t style = 0;
    bool ok = OptionalText(D(1), &row.company, true) &&
              TypeAndLabel(D(2), D(3), 0, 2, kAbsentOrganizationType, false, &row.type, &row.label) &&
              OptionalText(D(4), &row.title, true) && OptionalText(D(5), &row.department) &&
              OptionalText(D(6), &row.jobDescription) && OptionalText(D(7), &row.symbol) &&
              OptionalText(D(8), &row.phoneticName) && OptionalText(D(9), &row.officeLocation) &&
              Number(D(10), 0, 5, &present, &style) && IsNameStyle(present ? style : 0) &&
              (!row.company.empty() || !row.title.empty());
    if (!ok) return false;
    row.phoneticNameStyle = present ? static_cast<int32_t>(style) : 0;
    return true;
}

bool CDataTableAnalyze::FillPostalAddress(CDataTablePostalAddressRow& row) {
    return OptionalText(D(1), &row.formattedAddress, true) &&
           TypeAndLabel(D(2), D(3), 0, 3, kAbsentPostalType, false, &row.type, &row.label) &&
           OptionalText(D(4), &row.street) && OptionalText(D(5), &row.poBox) &&
           OptionalText(D(6), &row.neighborhood) && OptionalText(D(7), &row.city) &&
           OptionalText(D(8), &row.region) && OptionalText(D(9), &row.postcode) &&
           OptionalText(D(10), &row.country);
}

bool CDataTableAnalyze::FillGroupMembership(CDataTableGroupMembershipRow& row) {
    FieldValue value;
    bool ok = Read(D(1), &value);
    if (ok) row.groupRowId = value.ToText();
    return ok && !row.groupRowId.empty() && row.groupRowId.size() <= 10 &&
           std::all_of(row.groupRowId.begin(), row.groupRowId.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool CDataTableAnalyze::FillContactEvent(CDataTableContactEventRow& row) {
    return RequiredText(D(1), &row.date) &&
           TypeAndLabel(D(2), D(3), 0, 3, kAbsentEventType, false, &row.type, &row.label);
}

bool CDataTableAnalyze::FillWebsite(CDataTableWebsiteRow& row) {
    FieldValue type, label;
    bool ok = RequiredText(D(1), &row.url) && Read(D(2), &type);
    if (ok) {
        // Only a number 0..7 sets the type; any other data2 is ignored.
        std::string text = type.IsPresent() ? type.ToText() : std::string();
        int64_t n = HoldsNumber(text) ? ParseDecimalInt64(text) : -1;
        row.type = n >= 0 && n <= 7 ? static_cast<int32_t>(n) : kAbsentWebsiteType;
        if (row.type == 0) {
            ok = Read(D(3), &label);
            if (ok && label.IsPresent()) row.label = label.ToText();
            if (IsBlankText(row.label)) row.label.clear();
        }
    }
    return ok;
}

bool CDataTableAnalyze::FillRelation(CDataTableRelationRow& row) {
    return RequiredText(D(1), &row.name) &&
           TypeAndLabel(D(2), D(3), 0, 14, kAbsentRelationType, false, &row.type, &row.label);
}

bool CDataTableAnalyze::FillSipAddress(CDataTableSipAddressRow& row) {
    return RequiredText(D(1), &row.address) &&
           TypeAndLabel(D(2), D(3), 0, 7, kAbsentSipType, false, &row.type, &row.label);
}

bool CDataTableAnalyze::FillNote(CDataTableNoteRow& row) {
    return RequiredText(D(1), &row.note);
}

void CDataTableAnalyze::IndexFiledRows() {
    size_t filed = 0;
    for (const RowMultimap& rows : rows_) filed += rows.size();
    filed_.Reserve(filed);
    for (int m = 0; m < kRowMapCount; ++m)
        for (auto it = rows_[m].begin(); it != rows_[m].end(); ++it) {
            auto* row = static_cast<CDataTableRow*>(it->second);
            if (IsVersionedKind(row->dataKind))
                versions_.emplace(std::make_tuple(row->dataKind, row->id, row->rawContactId), it);
            else
                filed_.Add(row);
        }
}

void CDataTableAnalyze::ForgetIndexes() {
    filed_.Clear();
    versions_.clear();
}

void CDataTableAnalyze::PlaceDataRow(CDataTableRow* row) {
    int index = RowMapOfKind(row->dataKind);
    if (index < 0) {
        row->Release();
        return;
    }
    RowMultimap& rows = rows_[index];
    const size_t hash = IsVersionedKind(row->dataKind) ? 0 : EqualRowIndex::HashOf(row);
    if (IsDuplicateDataRow(row, rows, hash)) {
        row->Release();
        return;
    }
    auto* membership = row->dataKind == kDataGroupMembership ? static_cast<CDataTableGroupMembershipRow*>(row) : nullptr;
    // The older membership is taken out before the new row is filed, so that it can never be the
    // new row itself that goes.
    if (membership) ReplaceMembershipRow(membership);
    auto filed = rows.emplace(row->id, row);
    if (IsVersionedKind(row->dataKind))
        versions_.emplace(std::make_tuple(row->dataKind, row->id, row->rawContactId), filed);
    else
        filed_.Add(row, hash);
    if (membership) {
        membership_.emplace(membership->rawContactId, membership);
        membershipFiled_.emplace(membership, filed);
    }
}

bool CDataTableAnalyze::IsDuplicateDataRow(CDataTableRow* row, RowMultimap& rows, size_t hash) {
    if (IsVersionedKind(row->dataKind)) {
        auto range = versions_.equal_range(std::make_tuple(row->dataKind, row->id, row->rawContactId));
        for (auto it = range.first; it != range.second;) {
            auto* filed = static_cast<CDataTableRow*>(it->second->second);
            if (!row->live && filed->dataVersion >= row->dataVersion) return true;
            filed->Release();
            rows.erase(it->second);
            it = versions_.erase(it);
        }
        return false;
    }
    if (CTableRow* equal = filed_.FindEqual(row, hash)) {
        equal->live = row->live;
        return true;
    }
    return false;
}

void CDataTableAnalyze::ReplaceMembershipRow(CDataTableGroupMembershipRow* row) {
    auto range = membership_.equal_range(row->rawContactId);
    for (auto it = range.first; it != range.second; ++it) {
        CDataTableGroupMembershipRow* old = it->second;
        if (old->groupRowId != row->groupRowId) continue;
        membership_.erase(it);
        // Exactly the row the index pointed to leaves multimap 8.
        auto filed = membershipFiled_.find(old);
        if (filed != membershipFiled_.end()) {
            rows_[RowMapOfKind(kDataGroupMembership)].erase(filed->second);
            membershipFiled_.erase(filed);
            filed_.Remove(old);
            old->Release();
        }
        return;
    }
}

int32_t ImProtocolFromName(const std::string& text) {
    static const struct {
        const char* prefix;
        int32_t protocol;
    } kPrefixes[] = {{"AIM", 0},   {"Windows Live", 1}, {"Yahoo", 2},  {"Skype", 3},     {"QQ", 4},
                     {"Google Talk", 5}, {"ICQ", 6},  {"Jabber", 7}, {"NETMEETING", 8}};
    for (const auto& entry : kPrefixes)
        if (text.compare(0, std::char_traits<char>::length(entry.prefix), entry.prefix) == 0) return entry.protocol;
    return -1;
}

namespace {
std::vector<std::string> SortedUniquePieces(const std::string& text, const std::string& separator) {
    std::vector<std::string> pieces = SplitString(text, separator);
    std::sort(pieces.begin(), pieces.end());
    pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
    return pieces;
}

CDataTablePhoneV2Row* MadePhoneRow(const std::string& number, int64_t rawContactId) {
    auto* row = NewRow<CDataTablePhoneV2Row>();
    if (!row) return nullptr;
    row->number = number;
    row->type = 7;
    row->rawContactId = rawContactId;
    return row;
}
}  // namespace

ResultCode MakePhoneRowFromLookup(std::vector<CDataTableRow*>& rows, const std::string& number, int64_t rawContactId) {
    rows.clear();
    CDataTablePhoneV2Row* row = MadePhoneRow(number, rawContactId);
    if (!row) return RK_FAIL(RK_E_FAIL);
    rows.push_back(row);
    return RK_OK;
}

ResultCode ParseSearchContentRows(const std::string& text, std::vector<CDataTableRow*>& rows) {
    rows.clear();
    for (const std::string& line : SortedUniquePieces(text, "\n")) {
        size_t slashes = std::count(line.begin(), line.end(), '/');
        if (line.find('@') != std::string::npos && slashes == 0) {
            auto* row = NewRow<CDataTableEmailV2Row>();
            if (!row) return RK_FAIL(RK_E_FAIL);
            row->address = line;
            row->type = 3;
            row->rawContactId = -1;
            rows.push_back(row);
        } else if (slashes == 1) {
            size_t slash = line.find('/');
            std::string handle = line.substr(slash + 1);
            if (handle.empty()) continue;
            auto* row = NewRow<CDataTableIMRow>();
            if (!row) return RK_FAIL(RK_E_FAIL);
            row->handle = handle;
            row->type = 3;
            row->protocol = ImProtocolFromName(line);
            if (row->protocol == -1) row->customProtocol = line.substr(0, slash);
            row->rawContactId = -1;
            rows.push_back(row);
        }
    }
    return RK_OK;
}

ResultCode ParseSearchTokenRows(const std::string& text, std::vector<CDataTableRow*>& rows) {
    rows.clear();
    for (const std::string& token : SortedUniquePieces(text, " ")) {
        if (token[0] == '+' || !IsPhoneNumberText(token) || token.size() <= 7) continue;
        CDataTablePhoneV2Row* row = MadePhoneRow(token, -1);
        if (!row) return RK_FAIL(RK_E_FAIL);
        rows.push_back(row);
    }
    return RK_OK;
}
