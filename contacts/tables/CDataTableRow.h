#pragma once
#include <cstdint>
#include <string>

#include "sqlite_recovery/controller/CTableRow.h"
#include "contacts/tables/ContactTableKinds.h"

// Base of the rows of the data table; the subclass is chosen by the record's mimetype (DataKind).
class CDataTableRow : public CTableRow {
public:
    explicit CDataTableRow(int32_t kind) : CTableRow(kTableData), dataKind(kind) {}
    ~CDataTableRow() override {}
    // Same class and the same main value (data1 for most kinds; numbers compared as phone numbers).
    virtual bool SameValue(const CDataTableRow* other) const = 0;

    int32_t dataKind;
    int64_t rawContactId = 0;
    int64_t dataVersion = 0;
    // A recovered row under the id of a live row of the same raw contact, with another value: the
    // live row's value before an edit (the join marks it).
    bool earlier = false;

protected:
    // The fields every data row compares in Equals.
    bool SameKeys(const CDataTableRow* other) const {
        return other->id == id && other->dataKind == dataKind && other->rawContactId == rawContactId &&
               other->dataVersion == dataVersion;
    }
};

// "title(word):value", the display form of the typed kinds.
std::string TypedDisplayText(const std::string& title, const std::string& word, const std::string& value);
// The word of a type: the label for type 0, the table's word, else "UNKNOWN" or nothing.
struct TypeWord {
    int32_t type;
    const char* word;
};
std::string TypeWordOf(int32_t type, const std::string& label, const TypeWord* words, size_t count,
                       bool unknownWord);
