#include "sms/CSMSItem.h"

#include <tinyxml.h>

#include "sqlite_recovery/framework/Base64.h"
#include "sms/SmsXmlAttributes.h"


std::string CSMSItem::ElementText(const TiXmlElement* element) {
    const TiXmlNode* child = element ? element->FirstChild() : nullptr;
    const TiXmlText* text = child ? child->ToText() : nullptr;
    return text && text->Value() ? std::string(text->Value()) : std::string();
}

SmsPartContent SmsPartContent::FromElement(const TiXmlElement* part) {
    SmsPartContent content;
    content.type = ReadIntAttribute(part, "type");
    if (const char* name = part ? part->Attribute("filename") : nullptr) {
        content.named = true;
        content.fileName = name;
    }
    if (content.type >= 1 && content.type <= 5) content.text = CSMSItem::ElementText(part);
    content.declaredLength = ReadInt64Attribute(part, "length");
    return content;
}

CSMSItem::CSMSItem(const SmsPartContent* part) : part_(part) {
    if (part_->type == 1) {
        length_ = ClampToInt(static_cast<int64_t>(part_->text.size()) + 1);
    } else if (part_->type >= 2 && part_->type <= 5) {
        // The stored length bounds what is kept; the length reported is what was really decoded.
        if (part_->declaredLength > 0) {
            data_ = Base64Decode(part_->text);
            if (static_cast<int64_t>(data_.size()) > part_->declaredLength)
                data_.resize(static_cast<size_t>(part_->declaredLength));
        }
        length_ = ClampToInt(static_cast<int64_t>(data_.size()));
    }
}

CSMSItem::~CSMSItem() {}

const char* CSMSItem::GetFileName() { return part_->named ? part_->fileName.c_str() : nullptr; }

int CSMSItem::GetType() { return part_->type; }

const char* CSMSItem::GetData() {
    if (part_->type == 1) return part_->text.c_str();
    if (part_->type >= 2 && part_->type <= 5 && !data_.empty()) return reinterpret_cast<const char*>(data_.data());
    return nullptr;
}

int CSMSItem::GetLength() { return length_; }
