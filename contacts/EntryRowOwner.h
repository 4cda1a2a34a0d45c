#pragma once
#include <cstdint>
#include <vector>

#include "contacts/ContactJoin.h"

class CTableRow;

// The rows of the join's entries once the join is done. Each row goes as soon as the last entry
// that holds it has become its contact, so that a large phone's rows are not all kept beside all
// of its contacts.
class EntryRowOwner {
public:
    EntryRowOwner() = default;
    EntryRowOwner(const EntryRowOwner&) = delete;
    EntryRowOwner& operator=(const EntryRowOwner&) = delete;
    ~EntryRowOwner() { ReleaseAll(); }

    // Takes over rows that their owners have given up (each listed once): those that entries of
    // result hold stay until their last entry is done; the others are released now.
    void TakeOver(const ContactResultMap& result, std::vector<CTableRow*> rows);
    // The entry is done with: the rows that no other entry holds go, and the entry with them.
    void Done(ContactResultMap& result, ContactResultMap::iterator entry);
    // Releases every row still held; nothing may point to them any more.
    void ReleaseAll();

private:
    // Position of row in rows_, or rows_.size().
    size_t Find(const CTableRow* row) const;
    void Drop(const CTableRow* row);

    std::vector<CTableRow*> rows_;   // in address order
    std::vector<uint32_t> holders_;  // the entries that hold rows_[i]; 0 once released
};
