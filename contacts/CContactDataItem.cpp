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

CContactDataItem::CContactDataItem(const TiXmlElement* item) {
    const TiXmlElement* leaf = item ? item->FirstChildElement() : nullptr;
    if (!leaf) return;

    const char* res = leaf->Attribute("res");
    if (res) ReadInt(leaf, "res", &resId_);
    if (resId_ <= 0 || leaf->Attribute("type")) {
        resId_ = -1;
        if (res) label_ = res;
    }

    int length = 0;
    if (!ReadInt(leaf, "length", &length)) length = 0;
    const char* text = leaf->GetText();
    if (length <= 0) {
        kind_ = KIND_TEXT;
        if (text) text_ = text;
        length_ = static_cast<int>(text_.size()) + 1;
        return;
    }
    // A binary item holds what its text decodes to, never more than the recorded length: the
    // attribute alone decides neither the allocation nor the count reported.
    kind_ = KIND_BINARY;
    if (text) rawText_ = text;
    bytes_ = Base64Decode(rawText_);
    if (bytes_.size() > static_cast<size_t>(length)) bytes_.resize(static_cast<size_t>(length));
    length_ = static_cast<int>(bytes_.size());
}

const char* CContactDataItem::GetValue() {
    if (kind_ == KIND_TEXT) return text_.c_str();
    return bytes_.empty() ? nullptr : reinterpret_cast<const char*>(bytes_.data());
}
