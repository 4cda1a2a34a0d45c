#include "contacts/CContactData.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "contacts/CContactDataItem.h"
#include "sqlite_recovery/framework/TextUtils.h"

CContactData* CContactData::FromXml(const char* text) {
    if (!text) return nullptr;
    return new (std::nothrow) CContactData(text);
}

CContactData::CContactData(const char* text) : text_(text) {
    document_.Parse(text_.c_str(), nullptr, TIXML_ENCODING_UTF8);
    if (document_.Error()) document_.Clear();
}

const TiXmlElement* CContactData::SkipHidden(const TiXmlElement* element) {
    while (element && (std::strcmp(element->Value(), "name") == 0 || std::strcmp(element->Value(), "photo") == 0))
        element = element->NextSiblingElement();
    return element;
}

IConactItem* CContactData::NewItem(const TiXmlElement* element) {
    if (!element) return nullptr;
    return new (std::nothrow) CContactDataItem(element);
}

const TiXmlElement* CContactData::FindItem(const char* name) const {
    const TiXmlElement* root = Root();
    return root ? root->FirstChildElement(name) : nullptr;
}

IConactItem* CContactData::FirstItem() {
    const TiXmlElement* root = Root();
    cursor_ = root ? SkipHidden(root->FirstChildElement()) : nullptr;
    return NewItem(cursor_);
}

IConactItem* CContactData::NextItem() {
    if (!cursor_) return nullptr;
    cursor_ = SkipHidden(cursor_->NextSiblingElement());
    return NewItem(cursor_);
}

int CContactData::IsDeleted() {
    const TiXmlElement* root = Root();
    if (!root) return 1;
    const char* deleted = root->Attribute("deleted");
    int value = 0;
    if (!deleted || std::sscanf(deleted, "%d", &value) != 1) return 0;
    return value;
}

int CContactData::Matches(const char* keyword) {
    if (!keyword || !*keyword) return 1;
    const TiXmlElement* root = Root();
    if (!root) return 0;
    auto matches = [keyword](const TiXmlElement* element) {
        CContactDataItem item(element);
        return item.GetKind() == CContactDataItem::KIND_TEXT && ContainsNoCase(keyword, item.GetValue());
    };
    if (const TiXmlElement* name = root->FirstChildElement("name"))
        if (matches(name)) return 1;
    // Walks with its own cursor, so a consumer's FirstItem/NextItem walk is not disturbed.
    for (const TiXmlElement* e = SkipHidden(root->FirstChildElement()); e; e = SkipHidden(e->NextSiblingElement()))
        if (matches(e)) return 1;
    return 0;
}
