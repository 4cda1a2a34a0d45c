#include "sms/CSMSData.h"

#include <new>

#include <tinyxml.h>

#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"

SmsMessageContent SmsMessageContent::FromElement(const TiXmlElement* message) {
    SmsMessageContent content;
    content.type = ReadIntAttribute(message, "type");
    content.deleted = ReadIntAttribute(message, "deleted");
    content.send = ReadIntAttribute(message, "send");
    content.failed = ReadInt64Attribute(message, "failed") != 0;
    content.cut = ReadInt64Attribute(message, "cut") != 0;
    content.date = ReadInt64Attribute(message, "date");
    if (const char* kind = message ? message->Attribute("kind") : nullptr) content.kind = kind;
    for (const TiXmlElement* part = message ? message->FirstChildElement() : nullptr; part;
         part = part->NextSiblingElement())
        content.parts.push_back(SmsPartContent::FromElement(part));
    content.parts.shrink_to_fit();
    return content;
}

bool SmsMessageContent::Matches(const char* keyword) const {
    if (!keyword || !*keyword) return true;
    for (const SmsPartContent& part : parts) {
        if (part.type != 1) continue;  // file names never match
        if (ContainsNoCase(keyword, part.text.c_str())) return true;
    }
    return false;
}

CSMSData::~CSMSData() {}

ISMSItem* CSMSData::ItemAt(size_t index) {
    if (index >= message_->parts.size()) {
        next_ = message_->parts.size();
        return nullptr;
    }
    next_ = index + 1;
    return new (std::nothrow) CSMSItem(&message_->parts[index]);
}

ISMSItem* CSMSData::FirstItem() { return ItemAt(0); }

ISMSItem* CSMSData::NextItem() {
    if (next_ == 0 || next_ > message_->parts.size()) return nullptr;
    return ItemAt(next_);
}

int CSMSData::GetDate() { return ClampToInt(GetDate64()); }

int CSMSData::GetType() { return message_->type == 1 || message_->type == 2 ? message_->type : 0; }
