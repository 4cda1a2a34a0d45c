#include "contacts/CContactData.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "sqlite_recovery/framework/CTiXmlDocumentEx.h"
#include "sqlite_recovery/framework/TextUtils.h"

CContactData* CContactData::FromXml(const char* text) {
    if (!text) return nullptr;
    return new (std::nothrow) CContactData(text);
}

CContactData::CContactData(const char* text) : text_(text) {
    CTiXmlDocumentEx document;
    document.Parse(text_.c_str(), nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* root = document.Error() ? nullptr : document.RootElement();
    if (!root) return;
    const char* deleted = root->Attribute("deleted");
    int value = 0;
    deleted_ = deleted && std::sscanf(deleted, "%d", &value) == 1 ? value : 0;
    for (const TiXmlElement* item = root->FirstChildElement(); item; item = item->NextSiblingElement())
        items_.push_back(ContactItemContent::FromElement(item));
    items_.shrink_to_fit();  // a run keeps every contact: no room to grow is kept
}

size_t CContactData::SkipHidden(size_t index) const {
    while (index < items_.size() && (items_[index].element == "name" || items_[index].element == "photo")) ++index;
    return index < items_.size() ? index : kNone;
}

IConactItem* CContactData::NewItem(const ContactItemContent* item) {
    if (!item) return nullptr;
    return new (std::nothrow) CContactDataItem(*item);
}

const ContactItemContent* CContactData::FindItem(const char* name) const {
    for (const ContactItemContent& item : items_)
        if (item.element == name) return &item;
    return nullptr;
}

IConactItem* CContactData::FirstItem() {
    cursor_ = SkipHidden(0);
    return cursor_ == kNone ? nullptr : NewItem(&items_[cursor_]);
}

IConactItem* CContactData::NextItem() {
    if (cursor_ == kNone) return nullptr;
    cursor_ = SkipHidden(cursor_ + 1);
    return cursor_ == kNone ? nullptr : NewItem(&items_[cursor_]);
}

int CContactData::Matches(const char* keyword) {
    if (!keyword || !*keyword) return 1;
    if (items_.empty()) return 0;
    auto matches = [keyword](const ContactItemContent& content) {
        CContactDataItem item(content);
        return item.GetKind() == CContactDataItem::KIND_TEXT && ContainsNoCase(keyword, item.GetValue());
    };
    if (const ContactItemContent* name = FindItem("name"))
        if (matches(*name)) return 1;
    // Walks with its own cursor, so a consumer's FirstItem/NextItem walk is not disturbed.
    for (size_t i = SkipHidden(0); i != kNone; i = SkipHidden(i + 1))
        if (matches(items_[i])) return 1;
    return 0;
}
