#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/EqualRowIndex.h"
#include "sqlite_recovery/controller/CTableAnalyze.h"

class CDataTableContactEventRow;
class CDataTableEmailV2Row;
class CDataTableGroupMembershipRow;
class CDataTableIMRow;
class CDataTableNameRow;
class CDataTableNicknameRow;
class CDataTableNoteRow;
class CDataTableOrganizationRow;
class CDataTablePhoneV2Row;
class CDataTablePhotoRow;
class CDataTablePostalAddressRow;
class CDataTableRelationRow;
class CDataTableSipAddressRow;
class CDataTableWebsiteRow;
class CMimetypesTableAnalyze;
class CGroupsTableAnalyze;

// Reads the data table: one typed row per record, chosen by the record's mimetype, with each
// kind's values checked, duplicates removed and the rows filed in one multimap per kind.
class CDataTableAnalyze : public CTableAnalyze {
public:
    // The mimetypes analyser maps mimetype ids to kinds; the groups analyser is kept for the join.
    explicit CDataTableAnalyze(CMimetypesTableAnalyze* mimetypes, CGroupsTableAnalyze* groups = nullptr);

    ResultCode BuildRows(ISQLiteTable* table, int count, bool live) override;
    // A new row of the kind built from the record's data columns; null when a value fails its
    // check, when the kind builds no row (identity and above) or when it cannot be allocated.
    CDataTableRow* BuildDataRow(int32_t kind, int record);
    // Files a row in its kind's multimap unless it is a duplicate; other rows are released.
    void PlaceDataRow(CDataTableRow* row);

    CMimetypesTableAnalyze* Mimetypes() const { return mimetypes_; }
    CGroupsTableAnalyze* Groups() const { return groups_; }
    const std::multimap<int64_t, CDataTableGroupMembershipRow*>& MembershipIndex() const { return membership_; }

    // The row multimap of a kind; -1 for kinds that are not filed (relation, identity, unknown).
    static int RowMapOfKind(int32_t kind);

private:
    // Finds, in this order, _id, mimetype_id, raw_contact_id, data_version and data1 to data15.
    void LookupColumns(ISQLiteTable* table);
    // A new row of the kind, filled by its builder; null when the builder rejects a value or the
    // row cannot be allocated.
    template <class Row>
    CDataTableRow* Build(bool (CDataTableAnalyze::*fill)(Row&));
    // The builders of the kinds: each reads its data columns of the current record into the row;
    // false when a value fails the kind's check.
    bool FillName(CDataTableNameRow& row);
    bool FillPhoto(CDataTablePhotoRow& row);
    bool FillNickname(CDataTableNicknameRow& row);
    bool FillPhone(CDataTablePhoneV2Row& row);
    bool FillEmail(CDataTableEmailV2Row& row);
    bool FillIm(CDataTableIMRow& row);
    bool FillOrganization(CDataTableOrganizationRow& row);
    bool FillPostalAddress(CDataTablePostalAddressRow& row);
    bool FillGroupMembership(CDataTableGroupMembershipRow& row);
    bool FillContactEvent(CDataTableContactEventRow& row);
    bool FillWebsite(CDataTableWebsiteRow& row);
    bool FillRelation(CDataTableRelationRow& row);
    bool FillSipAddress(CDataTableSipAddressRow& row);
    bool FillNote(CDataTableNoteRow& row);
    // hash: the row's EqualRowIndex hash (any value for the versioned kinds).
    bool IsDuplicateDataRow(CDataTableRow* row, RowMultimap& rows, size_t hash);
    // The duplicate rule's indexes over the filed rows, for one batch.
    void IndexFiledRows();
    void ForgetIndexes();
    void ReplaceMembershipRow(CDataTableGroupMembershipRow* row);

    // Value rules of the builders.
    bool Read(int column, FieldValue* value);
    bool RequiredText(int column, std::string* out);
    bool OptionalText(int column, std::string* out, bool notBlank = false);
    // present is false when the value is absent; the number must lie in [low, high].
    bool Number(int column, int64_t low, int64_t high, bool* present, int64_t* out);
    bool TypeAndLabel(int typeColumn, int labelColumn, int64_t low, int64_t high, int32_t absentType,
                      bool typeRequired, int32_t* type, std::string* label);

    CMimetypesTableAnalyze* mimetypes_;
    CGroupsTableAnalyze* groups_;
    ISQLiteTable* table_ = nullptr;
    bool live_ = false;
    int record_ = 0;
    enum { kId, kMimetypeId, kRawContactId, kDataVersion, kData1, kColumnCount = kData1 + 15 };
    int columns_[kColumnCount] = {};
    // raw_contact_id -> membership row; the rows belong to multimap 8.
    std::multimap<int64_t, CDataTableGroupMembershipRow*> membership_;
    // Where each of them is filed in multimap 8.
    std::unordered_map<const CTableRow*, RowMultimap::iterator> membershipFiled_;
    // The filed rows of the kinds whose duplicates are equal rows (during a batch).
    EqualRowIndex filed_;
    // The filed nickname and photo rows, whose duplicates are other versions, by kind, id and
    // raw_contact_id, in the order they were filed (during a batch).
    std::multimap<std::tuple<int32_t, int64_t, int64_t>, RowMultimap::iterator> versions_;
};

// The DataKind of the mimetype id: the first mimetypes row filed under it; kDataUnknown when none.
int32_t DataKindOfMimetypeId(CMimetypesTableAnalyze* mimetypes, int64_t id);
// The IM protocol named at the start of a search-index line: "AIM" 0 ... "NETMEETING" 8, else -1.
int32_t ImProtocolFromName(const std::string& text);

// Rows made for the join out of the phone_lookup and search_index_content tables: recovered,
// id 0, data_version 0. Each empties the vector first; error 1 when a row cannot be allocated.
ResultCode MakePhoneRowFromLookup(std::vector<CDataTableRow*>& rows, const std::string& number, int64_t rawContactId);
ResultCode ParseSearchContentRows(const std::string& text, std::vector<CDataTableRow*>& rows);
ResultCode ParseSearchTokenRows(const std::string& text, std::vector<CDataTableRow*>& rows);
