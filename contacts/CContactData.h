#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "contacts/CContactDataItem.h"
#include "contacts/IContactData.h"

// The data object of one recovered contact, over its XML text. What the items say is kept, not
// the parsed document: its nodes take several times the text's size, and a run holds every contact.
class CContactData : public IContactData, public IContactDocument {
public:
    // Null for a null text or when the object cannot be made; a text that does not parse still
    // gives an object, with an empty document.
    static CContactData* FromXml(const char* text);

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

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    explicit CContactData(const char* text);
    // The first item element of that name.
    const ContactItemContent* FindItem(const char* name) const;
    // The item at or after index that the walk shows (neither name nor photo); kNone when none.
    size_t SkipHidden(size_t index) const;
    static IConactItem* NewItem(const ContactItemContent* item);

    std::string text_;
    std::vector<ContactItemContent> items_;  // the root's child elements
    int deleted_ = 1;
    size_t cursor_ = kNone;
};
