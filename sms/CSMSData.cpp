#include "sms/CSMSData.h"

#include <new>

#include <tinyxml.h>

#include "sms/CSMSItem.h"
#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"

CSMSData::~CSMSData() {}

ISMSItem* CSMSData::FirstItem() {
    cursor_ = message_ ? message_->FirstChildElement() : nullptr;
    return cursor_ ? new (std::nothrow) CSMSItem(cursor_) : nullptr;
}

ISMSItem* CSMSData::NextItem() {
    if (!cursor_) return nullptr;
    cursor_ = cursor_->NextSiblingElement();
    return cursor_ ? new (std::nothrow) CSMSItem(cursor_) : nullptr;
}

int CSMSData::IsDeleted() { return ReadIntAttribute(message_, "deleted"); }
int CSMSData::GetSend() { return ReadIntAttribute(message_, "send"); }
int CSMSData::GetDate() { return ClampToInt(GetDate64()); }
int64_t CSMSData::GetDate64() { return ReadInt64Attribute(message_, "date"); }

int CSMSData::GetType() {
    int type = ReadIntAttribute(message_, "type");
    return type == 1 || type == 2 ? type : 0;
}

const char* CSMSData::GetKind() {
    const char* kind = message_ ? message_->Attribute("kind") : nullptr;
    return kind ? kind : "";
}

int CSMSData::IsFailed() { return ReadInt64Attribute(message_, "failed") != 0 ? 1 : 0; }

bool CSMSData::MessageMatches(const TiXmlElement* message, const char* keyword) {
    if (!keyword || !*keyword) return true;
    if (!message) return false;
    for (const TiXmlElement* part = message->FirstChildElement(); part; part = part->NextSiblingElement()) {
        if (ReadIntAttribute(part, "type") != 1) continue;  // file names never match
        if (ContainsNoCase(keyword, CSMSItem::ElementText(part).c_str())) return true;
    }
    return false;
}

// Walks the parts on its own, so a caller that is stepping through the items keeps its place.
int CSMSData::Matches(const char* keyword) { return MessageMatches(message_, keyword) ? 1 : 0; }
