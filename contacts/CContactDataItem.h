#pragma once
#include <string>
#include <vector>

#include "contacts/IContactData.h"
#include "sqlite_recovery/framework/Lockers.h"

class TiXmlElement;

// What an item element of a contact's document says (its first child element, the leaf). The
// texts are not copies: they point into the element they were read from, or into whatever keeps
// them after it.
struct ContactItemContent {
    const char* element = "";  // the item element's name ("phone", "email", ...)
    const char* leaf = "";     // the leaf's name ("number", "title", ...)
    bool hasLeaf = false;
    bool earlier = false;      // the item holds a value its field had before an edit
    const char* label = "";
    const char* text = "";  // the leaf's text: a text item's value, a binary item's base64 form
    int resId = -1;
    int declaredLength = 0;  // the leaf's "length"; 0 for a text item

    static ContactItemContent FromElement(const TiXmlElement* item);
};

// One field of a contact; it keeps copies, not references into its contact.
class CContactDataItem : public IConactItem, public none_copyable {
public:
    explicit CContactDataItem(const ContactItemContent& item);

    void Release() override { delete this; }
    int GetResId() override { return resId_; }
    const char* GetLabel() override { return label_.c_str(); }
    int GetKind() override { return kind_; }
    const char* GetValue() override;
    int GetLength() override { return length_; }
    int GetFlag() override { return flag_; }
    const char* GetRawText() override { return rawText_.c_str(); }

    enum : int { KIND_TEXT = 1, KIND_BINARY = 2 };

private:
    std::string label_;
    std::string text_;
    std::string rawText_;
    int resId_ = -1;
    int flag_ = 0;
    std::vector<unsigned char> bytes_;
    int length_ = 0;
    int kind_ = KIND_TEXT;
};
