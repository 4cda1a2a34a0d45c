#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "contacts/CContactDataItem.h"
#include "contacts/IContactData.h"

// The data object of one recovered contact, over its XML text. What the items say is kept, not
// the parsed document: its nodes take several times the text's size, and a run holds every contact.
// So that a contact takes few allocations, the items' texts lie one after another in one string.
class CContactData : public IContactData, public IContactDocument {
public:
    // Null for a null text or when the object cannot be made; a text that does not parse still
    // gives an object, with an empty document.
    static CContactData* FromXml(const char* text);
    // The same from the document the text was printed from, without parsing the text again.
    static CContactData* FromDocument(const char* text, const TiXmlElement* root);

    void Release() override { delete this; }
    IConactItem* FirstItem() override;
    IConactItem* NextItem() override;
    IConactItem* GetName() override { return NewItem(FindItem("name")); }
    IConactItem* GetPhoto() override { return NewItem(FindItem("photo")); }
    IConactItem* GetPhone() override { return NewItem(FindItem("phone")); }
    IConactItem* GetEmail() override { return NewItem(FindItem("email")); }
    int IsDeleted() override { return deleted_; }
    int Matches(const char* keyword) override;
    const char* GetDocumentText() override { return text_.c_str(); }
    const char* ItemElement(size_t index) override;
    const char* ItemLeaf(size_t index) override;
    const char* NamePart(const char* part) override;

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // An item element: where its texts lie in strings_, and its numbers.
    struct Item {
        uint32_t element, leaf, label, text;
        int32_t resId;
        int32_t declaredLength;
        bool hasLeaf;
        bool earlier;
    };
    explicit CContactData(const char* text);
    CContactData(const char* text, const TiXmlElement* root);
    void Read(const TiXmlElement* root);
    // The index of the first item element of that name; kNone when none.
    size_t FindItem(const char* name) const;
    bool IsNamed(size_t index, const char* name) const;
    // The item at or after index that the walk shows (neither name nor photo); kNone when none.
    size_t SkipHidden(size_t index) const;
    // Its texts point into strings_.
    ContactItemContent Content(size_t index) const;
    IConactItem* NewItem(size_t index) const;
    // Appends a text with its terminating zero; where it begins.
    uint32_t Keep(const char* text);

    std::string text_;
    std::string strings_;  // the items' texts, each ending in a zero
    std::vector<Item> items_;  // the root's child elements
    static constexpr int kNameParts = 5;
    uint32_t nameParts_[kNameParts] = {};  // in strings_; 0 is the empty text
    int deleted_ = 1;
    size_t cursor_ = kNone;
};
