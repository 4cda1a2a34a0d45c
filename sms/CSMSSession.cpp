#include "sms/CSMSSession.h"

#include <new>

#include "sms/CSMSData.h"
#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"


ISMSSession* CreateSmsSession(const char* xmlText) {
    if (!xmlText) return nullptr;
    return new (std::nothrow) CSMSSession(xmlText);
}

CSMSSession::CSMSSession(const char* xmlText) : text_(xmlText) {
    // A conversation document nests three levels; a text nesting far deeper is not parsed.
    if (XmlNestingWithin(text_.c_str(), 64)) document_.Parse(text_.c_str(), nullptr, TIXML_ENCODING_UTF8);
    root_ = document_.FirstChildElement();
    if (root_) {
        if (const char* number = root_->Attribute("number")) number_ = number;
        if (const char* name = root_->Attribute("name")) name_ = name;
    }
}

CSMSSession::~CSMSSession() {}

ISMSData* CSMSSession::FirstData() {
    cursor_ = root_ ? root_->FirstChildElement() : nullptr;
    return cursor_ ? new (std::nothrow) CSMSData(cursor_) : nullptr;
}

ISMSData* CSMSSession::NextData() {
    if (!cursor_) return nullptr;
    cursor_ = cursor_->NextSiblingElement();
    return cursor_ ? new (std::nothrow) CSMSData(cursor_) : nullptr;
}

ISMSData* CSMSSession::LastData() {
    if (!root_ || !root_->LastChild()) return nullptr;
    cursor_ = root_->LastChild()->ToElement();
    return cursor_ ? new (std::nothrow) CSMSData(cursor_) : nullptr;
}

int CSMSSession::GetTotal() { return ReadIntAttribute(root_, "total"); }
int CSMSSession::GetDeletedCount() { return ReadIntAttribute(root_, "deleted_count"); }

// Walks the messages on its own, so a caller that is stepping through them keeps its place.
int CSMSSession::Matches(const char* keyword) {
    if (!keyword || !*keyword) return 1;
    if (ContainsNoCase(keyword, number_.c_str()) || ContainsNoCase(keyword, name_.c_str())) return 1;
    if (!root_) return 0;
    for (const TiXmlElement* message = root_->FirstChildElement(); message;
         message = message->NextSiblingElement())
        if (CSMSData::MessageMatches(message, keyword)) return 1;
    return 0;
}
