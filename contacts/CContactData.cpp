#include "contacts/CContactData.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "sqlite_recovery/framework/CTiXmlDocumentEx.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "sqlite_recovery/framework/XmlLeafSpaces.h"

namespace {
const char* const kNamePartNames[] = {"family", "given", "middle", "prefix", "suffix"};
}  // namespace

CContactData* CContactData::FromXml(const char* text) {
    if (!text) return nullptr;
    return new (std::nothrow) CContactData(text);
}

CContactData* CContactData::FromDocument(const char* text, const TiXmlElement* root) {
    if (!text) return nullptr;
    return new (std::nothrow) CContactData(text, root);
}

CContactData::CContactData(const char* text) : text_(text) {
    CTiXmlDocumentEx document;
    // Values are read as stored: the parser would fold their blanks.
    document.Parse(KeepLeafSpaces(text_).c_str(), nullptr, TIXML_ENCODING_UTF8);
    Read(document.Error() ? nullptr : document.RootElement());
}

CContactData::CContactData(const char* text, const TiXmlElement* root) : text_(text) { Read(root); }

void CContactData::Read(const TiXmlElement* root) {
    if (!root) return;
    const char* deleted = root->Attribute("deleted");
    int value = 0;
    deleted_ = deleted && std::sscanf(deleted, "%d", &value) == 1 ? value : 0;
    // Read first, so that the texts and the items are each allocated once, at their size: a run
    // keeps every contact.
    std::vector<ContactItemContent> contents;
    const char* parts[kNameParts] = {"", "", "", "", ""};  // of the first name item
    bool named = false;
    size_t bytes = 1;
    for (const TiXmlElement* element = root->FirstChildElement(); element; element = element->NextSiblingElement()) {
        contents.push_back(ContactItemContent::FromElement(element));
        const ContactItemContent& c = contents.back();
        bytes += std::strlen(c.element) + std::strlen(c.leaf) + std::strlen(c.label) + std::strlen(c.text) + 4;
        if (!named && std::strcmp(c.element, "name") == 0) {
            named = true;
            const TiXmlElement* leaf = element->FirstChildElement();
            for (int i = 0; i < kNameParts && leaf; ++i)
                if (const char* part = leaf->Attribute(kNamePartNames[i])) {
                    parts[i] = part;
                    bytes += std::strlen(part) + 1;
                }
        }
    }
    strings_.reserve(bytes);
    Keep("");  // offset 0: the empty text
    for (int i = 0; i < kNameParts; ++i)
        if (*parts[i]) nameParts_[i] = Keep(parts[i]);
    items_.reserve(contents.size());
    for (const ContactItemContent& content : contents) {
        Item item;
        item.element = Keep(content.element);
        item.leaf = Keep(content.leaf);
        item.label = Keep(content.label);
        item.text = Keep(content.text);
        item.resId = content.resId;
        item.declaredLength = content.declaredLength;
        item.hasLeaf = content.hasLeaf;
        item.earlier = content.earlier;
        items_.push_back(item);
    }
}

const char* CContactData::ItemElement(size_t index) {
    return index < items_.size() ? strings_.data() + items_[index].element : nullptr;
}

const char* CContactData::ItemLeaf(size_t index) {
    return index < items_.size() ? strings_.data() + items_[index].leaf : nullptr;
}

const char* CContactData::NamePart(const char* part) {
    for (int i = 0; part && i < kNameParts; ++i)
        if (std::strcmp(part, kNamePartNames[i]) == 0) return strings_.empty() ? "" : strings_.data() + nameParts_[i];
    return "";
}

uint32_t CContactData::Keep(const char* text) {
    const uint32_t at = static_cast<uint32_t>(strings_.size());
    strings_.append(text);
    strings_.push_back('\0');
    return at;
}

bool CContactData::IsNamed(size_t index, const char* name) const {
    return std::strcmp(strings_.data() + items_[index].element, name) == 0;
}

size_t CContactData::SkipHidden(size_t index) const {
    while (index < items_.size() && (IsNamed(index, "name") || IsNamed(index, "photo"))) ++index;
    return index < items_.size() ? index : kNone;
}

ContactItemContent CContactData::Content(size_t index) const {
    const Item& item = items_[index];
    ContactItemContent content;
    content.element = strings_.data() + item.element;
    content.hasLeaf = item.hasLeaf;
    content.label = strings_.data() + item.label;
    content.text = strings_.data() + item.text;
    content.resId = item.resId;
    content.declaredLength = item.declaredLength;
    content.earlier = item.earlier;
    return content;
}

IConactItem* CContactData::NewItem(size_t index) const {
    if (index == kNone) return nullptr;
    return new (std::nothrow) CContactDataItem(Content(index));
}

size_t CContactData::FindItem(const char* name) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (IsNamed(i, name)) return i;
    return kNone;
}

IConactItem* CContactData::FirstItem() {
    cursor_ = SkipHidden(0);
    return NewItem(cursor_);
}

IConactItem* CContactData::NextItem() {
    if (cursor_ == kNone) return nullptr;
    cursor_ = SkipHidden(cursor_ + 1);
    return NewItem(cursor_);
}

int CContactData::Matches(const char* keyword) {
    if (!keyword || !*keyword) return 1;
    if (items_.empty()) return 0;
    auto matches = [this, keyword](size_t index) {
        CContactDataItem item(Content(index));
        return item.GetKind() == CContactDataItem::KIND_TEXT && ContainsNoCase(keyword, item.GetValue());
    };
    const size_t name = FindItem("name");
    if (name != kNone && matches(name)) return 1;
    // Walks with its own cursor, so a consumer's FirstItem/NextItem walk is not disturbed.
    for (size_t i = SkipHidden(0); i != kNone; i = SkipHidden(i + 1))
        if (matches(i)) return 1;
    return 0;
}
