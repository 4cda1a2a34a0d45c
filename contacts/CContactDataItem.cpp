#include "contacts/CContactDataItem.h"

#include <cstdio>

#include <tinyxml.h>

#include "sqlite_recovery/framework/Base64.h"

namespace {
// "%d" read of an attribute; false when absent or unreadable.
bool ReadInt(const TiXmlElement* element, const char* name, int* value) {
    const char* text = element->Attribute(name);
    return text && std::sscanf(text, "%d", value) == 1;
}
}  // namespace

ContactItemContent ContactItemContent::FromElement(const TiXmlElement* item) {
    ContactItemContent content;
    if (item && item->Value()) content.element = item->Value();
    const char* earlier = item ? item->Attribute("earlier") : nullptr;
    content.earlier = earlier && earlier[0] == '1';
    const TiXmlElement* leaf = item ? item->FirstChildElement() : nullptr;
    if (!leaf) return content;
    content.hasLeaf = true;
    if (leaf->Value()) content.leaf = leaf->Value();

    const char* res = leaf->Attribute("res");
    if (res) ReadInt(leaf, "res", &content.resId);
    if (content.resId <= 0 || leaf->Attribute("type")) {
        content.resId = -1;
        if (res) content.label = res;
    }
    if (!ReadInt(leaf, "length", &content.declaredLength)) content.declaredLength = 0;
    if (const char* text = leaf->GetText()) content.text = text;
    return content;
}

CContactDataItem::CContactDataItem(const ContactItemContent& item)
    : label_(item.label), resId_(item.resId), flag_(item.earlier ? 1 : 0) {
    if (!item.hasLeaf) return;
    if (item.declaredLength <= 0) {
        kind_ = KIND_TEXT;
        text_ = item.text;
        length_ = static_cast<int>(text_.size()) + 1;
        return;
    }
    // A binary item holds what its text decodes to, never more than the recorded length: the
    // attribute alone decides neither the allocation nor the count reported.
    kind_ = KIND_BINARY;
    rawText_ = item.text;
    bytes_ = Base64Decode(rawText_);
    if (bytes_.size() > static_cast<size_t>(item.declaredLength)) bytes_.resize(static_cast<size_t>(item.declaredLength));
    length_ = static_cast<int>(bytes_.size());
}

const char* CContactDataItem::GetValue() {
    if (kind_ == KIND_TEXT) return text_.c_str();
    return bytes_.empty() ? nullptr : reinterpret_cast<const char*>(bytes_.data());
}
