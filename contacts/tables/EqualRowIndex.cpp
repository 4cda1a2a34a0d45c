#include "contacts/tables/EqualRowIndex.h"

#include "contacts/tables/CContactsTableRow.h"
#include "contacts/tables/CDataTableRow.h"
#include "contacts/tables/CGroupsTableRow.h"
#include "contacts/tables/CPhoneLookupTableRow.h"
#include "contacts/tables/CRawContactsTableRow.h"
#include "contacts/tables/CSearchIndexContentTableRow.h"
#include "sqlite_recovery/framework/ValueHash.h"

namespace {

// A hash of values that each row class's equality compares (equal rows hash alike). A data row's
// display text is made of compared values only.
size_t HashOfCompared(const CTableRow* row) {
    ValueHash h;
    h.Add(row->tableKind).Add(row->id);
    if (auto* data = dynamic_cast<const CDataTableRow*>(row))
        h.Add(data->dataKind).Add(data->rawContactId).Add(data->dataVersion).Add(data->ToString());
    else if (auto* raw = dynamic_cast<const CRawContactsTableRow*>(row))
        h.Add(raw->version).Add(raw->contactId).Add(raw->displayName).Add(raw->displayNameAlt);
    else if (auto* contact = dynamic_cast<const CContactsTableRow*>(row))
        h.Add(contact->nameRawContactId).Add(contact->photoId);
    else if (auto* group = dynamic_cast<const CGroupsTableRow*>(row))
        h.Add(group->version).Add(group->title);
    else if (auto* lookup = dynamic_cast<const CPhoneLookupTableRow*>(row))
        h.Add(lookup->rawContactId).Add(lookup->normalizedNumber).Add(lookup->minMatch);
    else if (auto* index = dynamic_cast<const CSearchIndexContentTableRow*>(row))
        h.Add(index->contactId).Add(index->content).Add(index->tokens);
    return h.Value();
}

}  // namespace

size_t EqualRowIndex::HashOf(const CTableRow* row) { return HashOfCompared(row); }

CTableRow* EqualRowIndex::FindEqual(const CTableRow* row, size_t hash) const {
    Filed first;
    rows_.Find(hash, [&](const Filed& filed) {
        if ((!first.row || filed.number < first.number) && row->Equals(filed.row)) first = filed;
        return false;  // every row of the hash is looked at
    });
    return first.row;
}

void EqualRowIndex::Add(CTableRow* row, size_t hash) { rows_.Add(hash, Filed{row, filed_++}); }

void EqualRowIndex::Remove(const CTableRow* row) {
    rows_.Remove(HashOfCompared(row), [row](const Filed& filed) { return filed.row == row; });
}

void EqualRowIndex::AddAll(const RowMultimap& rows) {
    rows_.Reserve(rows_.Size() + rows.size());
    for (const auto& entry : rows) Add(entry.second);
}

void EqualRowIndex::Clear() {
    rows_.Clear();
    filed_ = 0;
}
