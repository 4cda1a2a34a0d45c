#include "sms/CSMSSession.h"

#include <new>
#include <string>

#include <tinyxml.h>

#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "sqlite_recovery/framework/XmlLeafSpaces.h"

ISMSSession* CreateSmsSession(const char* xmlText) {
    if (!xmlText) return nullptr;
    return new (std::nothrow) CSMSSession(xmlText);
}

CSMSSession::CSMSSession(const char* xmlText) : text_(xmlText) {
    TiXmlDocument document;
    // A conversation document nests three levels; a text nesting far deeper is not parsed.
    if (XmlNestingWithin(text_.c_str(), 64))
        document.Parse(KeepLeafSpaces(text_).c_str(), nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* root = document.FirstChildElement();
    if (!root) return;
    if (const char* number = root->Attribute("number")) number_ = number;
    if (const char* name = root->Attribute("name")) name_ = name;
    total_ = ReadIntAttribute(root, "total");
    deletedCount_ = ReadIntAttribute(root, "deleted_count");
    for (const TiXmlElement* message = root->FirstChildElement(); message; message = message->NextSiblingElement())
        messages_.push_back(SmsMessageContent::FromElement(message));
    messages_.shrink_to_fit();  // a run keeps every conversation: no room to grow is kept
    rootHasChildren_ = root->LastChild() != nullptr;
    endsWithMessage_ = rootHasChildren_ && root->LastChild()->ToElement() != nullptr;
}

CSMSSession::~CSMSSession() {}

ISMSData* CSMSSession::DataAt(size_t index) {
    cursor_ = index < messages_.size() ? index : kNone;
    return cursor_ == kNone ? nullptr : new (std::nothrow) CSMSData(&messages_[cursor_]);
}

ISMSData* CSMSSession::FirstData() { return DataAt(0); }

ISMSData* CSMSSession::NextData() {
    if (cursor_ == kNone) return nullptr;
    return DataAt(cursor_ + 1);
}

ISMSData* CSMSSession::LastData() {
    if (!rootHasChildren_) return nullptr;
    return DataAt(endsWithMessage_ ? messages_.size() - 1 : kNone);
}

// Walks the messages on its own, so a caller that is stepping through them keeps its place.
int CSMSSession::Matches(const char* keyword) {
    if (!keyword || !*keyword) return 1;
    if (ContainsNoCase(keyword, number_.c_str()) || ContainsNoCase(keyword, name_.c_str())) return 1;
    for (const SmsMessageContent& message : messages_)
        if (message.Matches(keyword)) return 1;
    return 0;
}
