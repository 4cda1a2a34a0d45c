#include "sms/CSMSSession.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include <tinyxml.h>

#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"
#include "sqlite_recovery/framework/XmlLeafSpaces.h"

namespace {

size_t CountChildElements(const TiXmlElement* root) {
    size_t count = 0;
    for (const TiXmlElement* element = root->FirstChildElement(); element; element = element->NextSiblingElement())
        ++count;
    return count;
}

}  // namespace

ISMSSession* CreateSmsSession(const char* xmlText) {
    if (!xmlText) return nullptr;
    return new (std::nothrow) CSMSSession(xmlText);
}

CSMSSession::CSMSSession(const char* xmlText) {
    const size_t size = std::strlen(xmlText);
    TiXmlDocument document;
    XmlLeafLayout layout;
    // A conversation document nests three levels; a text nesting far deeper is not parsed.
    if (XmlNestingWithin(xmlText, 64))
        document.Parse(KeepLeafSpaces(xmlText, size, &layout).c_str(), nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* root = document.FirstChildElement();
    // The document is kept a message at a time where the messages found in its text are those the
    // parser read, each in a piece of its own; otherwise whole.
    bool pieces = root && layout.nested && layout.rootStartEnd > 0 && !layout.childEnds.empty() &&
                  layout.childEnds.size() == CountChildElements(root);
    for (size_t i = 0; pieces && i < layout.childEnds.size(); ++i)
        pieces = layout.childEnds[i] - (i ? layout.childEnds[i - 1] : layout.rootStartEnd) <= UINT32_MAX;
    if (!pieces) {
        text_.assign(xmlText, size);
    } else {
        head_.assign(xmlText, layout.rootStartEnd);
        tail_.assign(xmlText + layout.childEnds.back(), size - layout.childEnds.back());
    }
    if (!root) return;
    if (const char* number = root->Attribute("number")) number_ = number;
    if (const char* name = root->Attribute("name")) name_ = name;
    total_ = ReadIntAttribute(root, "total");
    deletedCount_ = ReadIntAttribute(root, "deleted_count");
    std::map<std::string, size_t> kinds;  // each kind is kept once
    std::map<std::tuple<int32_t, int32_t, int32_t, bool, bool, size_t, bool>, uint32_t> shapes;
    std::vector<Part> parts;
    size_t nextLeaf = 0;
    for (const TiXmlElement* element = root->FirstChildElement(); element; element = element->NextSiblingElement()) {
        Shape shape{};
        shape.type = ReadIntAttribute(element, "type");
        shape.deleted = ReadIntAttribute(element, "deleted");
        shape.send = ReadIntAttribute(element, "send");
        shape.failed = ReadInt64Attribute(element, "failed") != 0;
        shape.cut = ReadInt64Attribute(element, "cut") != 0;
        shape.kind = kNone;
        if (const char* kind = element->Attribute("kind")) {
            auto known = kinds.find(kind);
            if (known == kinds.end()) known = kinds.emplace(kind, Keep(kind, std::strlen(kind))).first;
            shape.kind = known->second;
        }
        Message message{};
        message.date = ReadInt64Attribute(element, "date");
        // The document's text from the end of the message before (or of the root's start tag)
        // to the end of this one.
        size_t pieceStart = 0;
        if (pieces) {
            const size_t index = messages_.size();
            pieceStart = index == 0 ? layout.rootStartEnd : layout.childEnds[index - 1];
            message.pieceSize = static_cast<uint32_t>(layout.childEnds[index] - pieceStart);
            message.piece.reset(new char[message.pieceSize]);
            std::memcpy(message.piece.get(), xmlText + pieceStart, message.pieceSize);
        }
        const size_t inDocumentEnd = pieces ? pieceStart + message.pieceSize : size;
        parts.clear();
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
                while (nextLeaf < layout.leaves.size() && layout.leaves[nextLeaf].first < pieceStart) ++nextLeaf;
                for (size_t k = nextLeaf; part.textSize && k < layout.leaves.size() && k < nextLeaf + 4; ++k) {
                    const size_t at = layout.leaves[k].first;
                    if (at + part.textSize > inDocumentEnd) break;
                    if (layout.leaves[k].second == part.textSize &&
                        std::memcmp(xmlText + at, text, part.textSize) == 0) {
                        part.text = at - pieceStart;
                        part.inDocument = true;
                        nextLeaf = k + 1;
                        break;
                    }
                }
                if (!part.inDocument) part.text = Keep(text, part.textSize);
            }
            parts.push_back(part);
        }
        const Part only = parts.empty() ? Part{} : parts.front();
        shape.oneText = parts.size() == 1 && only.type == 1 && !only.named && only.declaredLength == 0 &&
                        only.inDocument && only.text <= UINT32_MAX && only.textSize <= UINT32_MAX;
        if (shape.oneText) {
            message.first = static_cast<uint32_t>(only.text);
            message.count = static_cast<uint32_t>(only.textSize);
        } else {
            message.first = static_cast<uint32_t>(parts_.size());
            message.count = static_cast<uint32_t>(parts.size());
            parts_.insert(parts_.end(), parts.begin(), parts.end());
        }
        auto known = shapes.find(shape.Key());
        if (known == shapes.end()) {
            known = shapes.emplace(shape.Key(), static_cast<uint32_t>(shapes_.size())).first;
            shapes_.push_back(shape);
        }
        message.shape = known->second;
        messages_.push_back(std::move(message));
    }
    // A run keeps every conversation: no room to grow is kept.
    shapes_.shrink_to_fit();
    messages_.shrink_to_fit();
    parts_.shrink_to_fit();
    strings_.shrink_to_fit();
    rootHasChildren_ = root->LastChild() != nullptr;
    endsWithMessage_ = rootHasChildren_ && root->LastChild()->ToElement() != nullptr;
}

std::string CSMSSession::DocumentText() {
    if (head_.empty()) return text_;
    size_t size = head_.size() + tail_.size();
    for (const Message& message : messages_) size += message.pieceSize;
    std::string text;
    text.reserve(size);
    text += head_;
    for (const Message& message : messages_) text.append(message.piece.get(), message.pieceSize);
    text += tail_;
    return text;
}

size_t CSMSSession::Keep(const char* text, size_t size) {
    const size_t at = strings_.size();
    strings_.append(text, size);
    strings_.push_back('\0');
    return at;
}

const char* CSMSSession::DocumentBase(const Message& message) const {
    return message.piece ? message.piece.get() : text_.c_str();
}

SmsPartContent CSMSSession::PartContent(const Message& message, const Part& part) const {
    SmsPartContent content;
    content.type = part.type;
    content.named = part.named;
    if (part.named) content.fileName = strings_.c_str() + part.fileName;
    if (part.textSize) content.text = (part.inDocument ? DocumentBase(message) : strings_.c_str()) + part.text;
    content.textSize = part.textSize;
    content.declaredLength = part.declaredLength;
    return content;
}

std::vector<SmsPartContent> CSMSSession::PartContents(const Message& message) const {
    std::vector<SmsPartContent> contents;
    if (shapes_[message.shape].oneText) {
        SmsPartContent text;
        text.type = 1;
        if (message.count) text.text = DocumentBase(message) + message.first;
        text.textSize = message.count;
        contents.push_back(text);
        return contents;
    }
    contents.reserve(message.count);
    for (size_t i = 0; i < message.count; ++i) contents.push_back(PartContent(message, parts_[message.first + i]));
    return contents;
}

CSMSSession::~CSMSSession() {}

ISMSData* CSMSSession::DataAt(size_t index) {
    cursor_ = index < messages_.size() ? index : kNone;
    if (cursor_ == kNone) return nullptr;
    const Message& message = messages_[cursor_];
    const Shape& shape = shapes_[message.shape];
    SmsMessageContent content;
    content.type = shape.type;
    content.deleted = shape.deleted;
    content.send = shape.send;
    content.failed = shape.failed;
    content.cut = shape.cut;
    content.date = message.date;
    if (shape.kind != kNone) content.kind = strings_.c_str() + shape.kind;
    content.parts = PartContents(message);
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
    for (const Message& message : messages_)
        for (const SmsPartContent& part : PartContents(message))
            if (SmsMessageContent::PartMatches(part, keyword)) return 1;
    return 0;
}
