#pragma once
#include <string>

#include "sqlite_recovery/framework/CTiXmlDocumentEx.h"
#include "contacts/IContactData.h"

// The data object of one recovered contact, over a parsed copy of its XML text.
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
    int IsDeleted() override;
    int Matches(const char* keyword) override;
    const char* GetDocumentText() override { return text_.c_str(); }

private:
    explicit CContactData(const char* text);
    const TiXmlElement* Root() const { return document_.RootElement(); }
    const TiXmlElement* FindItem(const char* name) const;
    // The item element at or after element that the walk shows (neither name nor photo).
    static const TiXmlElement* SkipHidden(const TiXmlElement* element);
    static IConactItem* NewItem(const TiXmlElement* element);

    std::string text_;
    CTiXmlDocumentEx document_;
    const TiXmlElement* cursor_ = nullptr;
};
