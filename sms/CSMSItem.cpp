#include "sms/CSMSItem.h"

#include <tinyxml.h>

#include "sqlite_recovery/framework/Base64.h"
#include "sms/SmsXmlAttributes.h"


std::string CSMSItem::ElementText(const TiXmlElement* element) {
    const TiXmlNode* child = element ? element->FirstChild() : nullptr;
    const TiXmlText* text = child ? child->ToText() : nullptr;
    return text && text->Value() ? std::string(text->Value()) : std::string();
}

CSMSItem::CSMSItem(const TiXmlElement* part) : part_(part) {
    type_ = ReadIntAttribute(part_, "type");
    if (type_ == 1) {
        text_ = ElementText(part_);
        length_ = ClampToInt(static_cast<int64_t>(text_.size()) + 1);
    } else if (type_ >= 2 && type_ <= 5) {
        // The stored length bounds what is kept; the length reported is what was really decoded.
        int64_t declared = ReadInt64Attribute(part_, "length");
        if (declared > 0) {
            data_ = Base64Decode(ElementText(part_));
            if (static_cast<int64_t>(data_.size()) > declared) data_.resize(static_cast<size_t>(declared));
        }
        length_ = ClampToInt(static_cast<int64_t>(data_.size()));
    }
}

CSMSItem::~CSMSItem() {}

const char* CSMSItem::GetFileName() { return part_ ? part_->Attribute("filename") : nullptr; }

int CSMSItem::GetType() { return ReadIntAttribute(part_, "type"); }

const char* CSMSItem::GetData() {
    if (type_ == 1) return text_.c_str();
    if (type_ >= 2 && type_ <= 5 && !data_.empty()) return reinterpret_cast<const char*>(data_.data());
    return nullptr;
}

int CSMSItem::GetLength() { return length_; }
