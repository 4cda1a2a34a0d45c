#include "sms/CSMSSession.h"

#include <new>
#include <string>

#include <tinyxml.h>

#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"


namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The document with the white space inside each leaf's text written as character references,
// where the parser would otherwise fold it: runs of it, and any at the text's start or end. The
// parser folds white space as the document is read, so a message body read back would lose its
// blanks; a reference it reads as the character itself. A single blank between two other
// characters stays as it is.
std::string KeepLeafSpaces(const std::string& xml) {
    std::string out;
    out.reserve(xml.size());
    bool afterStartTag = false;
    size_t at = 0;
    while (at < xml.size()) {
        if (xml[at] == '<') {
            size_t end = at + 1;
            char quote = 0;
            while (end < xml.size() && (quote || xml[end] != '>')) {
                if (quote && xml[end] == quote) quote = 0;
                else if (!quote && (xml[end] == '"' || xml[end] == '\'')) quote = xml[end];
                ++end;
            }
            if (end == xml.size()) return out + xml.substr(at);
            const char kind = at + 1 < end ? xml[at + 1] : '/';
            afterStartTag = kind != '/' && kind != '?' && kind != '!' && xml[end - 1] != '/';
            out.append(xml, at, end + 1 - at);
            at = end + 1;
            continue;
        }
        size_t end = xml.find('<', at);
        if (end == std::string::npos) end = xml.size();
        const bool leaf = afterStartTag && end + 1 < xml.size() && xml[end + 1] == '/';
        for (size_t i = at; i < end; ++i) {
            const char c = xml[i];
            const bool lone = c == ' ' && i > at && i + 1 < end && !IsXmlSpace(xml[i - 1]) && !IsXmlSpace(xml[i + 1]);
            if (leaf && IsXmlSpace(c) && !lone) out += "&#" + std::to_string(static_cast<int>(c)) + ";";
            else out += c;
        }
        at = end;
    }
    return out;
}

}  // namespace

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
