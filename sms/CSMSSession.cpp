#include "sms/CSMSSession.h"

#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <tinyxml.h>

#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"


namespace {

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Where a leaf's text lies in a document: its first byte and its size.
using TextSpan = std::pair<size_t, size_t>;

// The document with the white space inside each leaf's text written as character references,
// where the parser would otherwise fold it: runs of it, and any at the text's start or end. The
// parser folds white space as the document is read, so a message body read back would lose its
// blanks; a reference it reads as the character itself. A single blank between two other
// characters stays as it is. Where each leaf's text lies in xml goes to leaves, in order.
std::string KeepLeafSpaces(const std::string& xml, std::vector<TextSpan>* leaves) {
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
        if (leaf) leaves->emplace_back(at, end - at);
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
    std::vector<TextSpan> leaves;
    // A conversation document nests three levels; a text nesting far deeper is not parsed.
    if (XmlNestingWithin(text_.c_str(), 64))
        document.Parse(KeepLeafSpaces(text_, &leaves).c_str(), nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* root = document.FirstChildElement();
    if (!root) return;
    if (const char* number = root->Attribute("number")) number_ = number;
    if (const char* name = root->Attribute("name")) name_ = name;
    total_ = ReadIntAttribute(root, "total");
    deletedCount_ = ReadIntAttribute(root, "deleted_count");
    std::vector<size_t> kinds;  // each kind is kept once
    size_t nextLeaf = 0;
    for (const TiXmlElement* element = root->FirstChildElement(); element; element = element->NextSiblingElement()) {
        Message message{};
        message.type = ReadIntAttribute(element, "type");
        message.deleted = ReadIntAttribute(element, "deleted");
        message.send = ReadIntAttribute(element, "send");
        message.failed = ReadInt64Attribute(element, "failed") != 0;
        message.date = ReadInt64Attribute(element, "date");
        message.kind = kNone;
        if (const char* kind = element->Attribute("kind")) {
            for (size_t at : kinds)
                if (std::strcmp(strings_.c_str() + at, kind) == 0) message.kind = at;
            if (message.kind == kNone) kinds.push_back(message.kind = Keep(kind, std::strlen(kind)));
        }
        message.firstPart = parts_.size();
        for (const TiXmlElement* child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
            Part part{};
            part.type = ReadIntAttribute(child, "type");
            if (const char* name = child->Attribute("filename")) {
                part.named = true;
                part.fileName = Keep(name, std::strlen(name));
            }
            part.declaredLength = ReadInt64Attribute(child, "length");
            if (part.type >= 1 && part.type <= 5) {
                const TiXmlNode* first = child->FirstChild();
                const TiXmlText* leaf = first ? first->ToText() : nullptr;
                const char* text = leaf && leaf->Value() ? leaf->Value() : "";
                part.textSize = std::strlen(text);
                // The leaves' texts come in document order; one that the parser changed, or that
                // is no part's, is passed over.
                for (size_t k = nextLeaf; part.textSize && k < leaves.size() && k < nextLeaf + 4; ++k)
                    if (leaves[k].second == part.textSize &&
                        std::memcmp(text_.data() + leaves[k].first, text, part.textSize) == 0) {
                        part.text = leaves[k].first;
                        part.inDocument = true;
                        nextLeaf = k + 1;
                        break;
                    }
                if (!part.inDocument) part.text = Keep(text, part.textSize);
            }
            parts_.push_back(part);
            ++message.partCount;
        }
        messages_.push_back(message);
    }
    // A run keeps every conversation: no room to grow is kept.
    messages_.shrink_to_fit();
    parts_.shrink_to_fit();
    strings_.shrink_to_fit();
    rootHasChildren_ = root->LastChild() != nullptr;
    endsWithMessage_ = rootHasChildren_ && root->LastChild()->ToElement() != nullptr;
}

size_t CSMSSession::Keep(const char* text, size_t size) {
    const size_t at = strings_.size();
    strings_.append(text, size);
    strings_.push_back('\0');
    return at;
}

SmsPartContent CSMSSession::PartContent(const Part& part) const {
    SmsPartContent content;
    content.type = part.type;
    content.named = part.named;
    if (part.named) content.fileName = strings_.c_str() + part.fileName;
    if (part.textSize) content.text = (part.inDocument ? text_.c_str() : strings_.c_str()) + part.text;
    content.textSize = part.textSize;
    content.declaredLength = part.declaredLength;
    return content;
}

CSMSSession::~CSMSSession() {}

ISMSData* CSMSSession::DataAt(size_t index) {
    cursor_ = index < messages_.size() ? index : kNone;
    if (cursor_ == kNone) return nullptr;
    const Message& message = messages_[cursor_];
    SmsMessageContent content;
    content.type = message.type;
    content.deleted = message.deleted;
    content.send = message.send;
    content.failed = message.failed;
    content.date = message.date;
    if (message.kind != kNone) content.kind = strings_.c_str() + message.kind;
    content.parts.reserve(message.partCount);
    for (size_t i = 0; i < message.partCount; ++i) content.parts.push_back(PartContent(parts_[message.firstPart + i]));
    return new (std::nothrow) CSMSData(std::move(content));
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
    for (const Part& part : parts_)
        if (SmsMessageContent::PartMatches(PartContent(part), keyword)) return 1;
    return 0;
}
