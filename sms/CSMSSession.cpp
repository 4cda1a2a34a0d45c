#include "sms/CSMSSession.h"

#include <cstdint>
#include <cstring>
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
    SmsMessageContent content;
    size_t nextLeaf = 0;
    for (const TiXmlElement* element = root->FirstChildElement(); element; element = element->NextSiblingElement()) {
        content.type = ReadIntAttribute(element, "type");
        content.deleted = ReadIntAttribute(element, "deleted");
        content.send = ReadIntAttribute(element, "send");
        content.failed = ReadInt64Attribute(element, "failed") != 0;
        content.cut = ReadInt64Attribute(element, "cut") != 0;
        content.kind = element->Attribute("kind");
        content.date = ReadInt64Attribute(element, "date");
        content.parts.clear();
        for (const TiXmlElement* child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
            SmsPartContent part;
            part.type = ReadIntAttribute(child, "type");
            if (const char* name = child->Attribute("filename")) {
                part.named = true;
                part.fileName = name;
            }
            part.declaredLength = ReadInt64Attribute(child, "length");
            if (part.type >= 1 && part.type <= 5) {
                const TiXmlNode* first = child->FirstChild();
                const TiXmlText* leaf = first ? first->ToText() : nullptr;
                part.text = leaf && leaf->Value() ? leaf->Value() : "";
                part.textSize = std::strlen(part.text);
            }
            content.parts.push_back(part);
        }
        // The document's text from the end of the message before (or of the root's start tag) to
        // the end of this one.
        const size_t index = messages_.size();
        const size_t pieceStart = !pieces ? 0 : index == 0 ? layout.rootStartEnd : layout.childEnds[index - 1];
        const size_t pieceSize = pieces ? layout.childEnds[index] - pieceStart : size;
        KeepMessage(content, xmlText, pieceStart, pieceSize, pieces, layout.leaves, &nextLeaf);
    }
    FinishMessages();
    rootHasChildren_ = root->LastChild() != nullptr;
    endsWithMessage_ = rootHasChildren_ && root->LastChild()->ToElement() != nullptr;
}

namespace {

// Where the leaves' texts lie in a piece of a document as TinyXML prints it, which writes every
// '<' and '>' of a text or an attribute value as a reference: the text between a start tag and
// the end tag right after it.
void FindLeaves(const char* text, size_t size, std::vector<std::pair<size_t, size_t>>* leaves) {
    leaves->clear();
    const char* end = text + size;
    for (const char* at = text; (at = static_cast<const char*>(std::memchr(at, '<', end - at)));) {
        const char* close = static_cast<const char*>(std::memchr(at, '>', end - at));
        if (!close) return;
        const bool start = at + 1 < end && at[1] != '/' && at[1] != '?' && at[1] != '!' && close[-1] != '/';
        const char* next = static_cast<const char*>(std::memchr(close, '<', end - close));
        if (!next) return;
        if (start && next + 1 < end && next[1] == '/')
            leaves->emplace_back(static_cast<size_t>(close + 1 - text), static_cast<size_t>(next - close - 1));
        at = next;
    }
}

}  // namespace

void CSMSSession::AddWrittenMessage(const SmsMessageContent& message, const char* piece, size_t size) {
    FindLeaves(piece, size, &leaves_);
    size_t nextLeaf = 0;
    KeepMessage(message, piece, 0, size, true, leaves_, &nextLeaf);
}

void CSMSSession::FinishWritten(std::string head, std::string tail, std::string number, std::string name, int total,
                                int deletedCount) {
    head_ = std::move(head);
    tail_ = std::move(tail);
    number_ = std::move(number);
    name_ = std::move(name);
    total_ = total;
    deletedCount_ = deletedCount;
    FinishMessages();
    rootHasChildren_ = endsWithMessage_ = !messages_.empty();
}

void CSMSSession::FinishMessages() {
    // A run keeps every conversation: no room to grow is kept.
    Leaves().swap(leaves_);
    shapes_.shrink_to_fit();
    messages_.shrink_to_fit();
    parts_.shrink_to_fit();
    strings_.shrink_to_fit();
}

uint32_t CSMSSession::ShapeOf(const Shape& shape) {
    // A conversation's messages have a few shapes only.
    for (size_t i = 0; i < shapes_.size(); ++i)
        if (shapes_[i].Key() == shape.Key()) return static_cast<uint32_t>(i);
    shapes_.push_back(shape);
    return static_cast<uint32_t>(shapes_.size() - 1);
}

void CSMSSession::KeepMessage(const SmsMessageContent& content, const char* text, size_t pieceStart, size_t pieceSize,
                              bool keepPiece, const Leaves& leaves, size_t* nextLeaf) {
    Shape shape{};
    shape.type = content.type;
    shape.deleted = content.deleted;
    shape.send = content.send;
    shape.failed = content.failed;
    shape.cut = content.cut;
    shape.kind = kNone;
    if (content.kind) {
        // Each kind is kept once.
        for (const Shape& known : shapes_)
            if (known.kind != kNone && std::strcmp(strings_.c_str() + known.kind, content.kind) == 0) shape.kind = known.kind;
        if (shape.kind == kNone) shape.kind = Keep(content.kind, std::strlen(content.kind));
    }
    Message message{};
    message.date = content.date;
    if (keepPiece) {
        message.pieceSize = static_cast<uint32_t>(pieceSize);
        message.piece.reset(new char[pieceSize]);
        std::memcpy(message.piece.get(), text + pieceStart, pieceSize);
    }
    const size_t inDocumentEnd = pieceStart + pieceSize;
    const size_t firstPart = parts_.size();
    for (const SmsPartContent& given : content.parts) {
        Part part{};
        part.type = given.type;
        if (given.named) {
            part.named = true;
            part.fileName = Keep(given.fileName, std::strlen(given.fileName));
        }
        part.declaredLength = given.declaredLength;
        if (part.type >= 1 && part.type <= 5) {
            part.textSize = given.textSize;
            // The leaves' texts come in document order; one that the parser changed, or that is no
            // part's, is passed over.
            while (*nextLeaf < leaves.size() && leaves[*nextLeaf].first < pieceStart) ++*nextLeaf;
            for (size_t k = *nextLeaf; part.textSize && k < leaves.size() && k < *nextLeaf + 4; ++k) {
                const size_t at = leaves[k].first;
                if (at + part.textSize > inDocumentEnd) break;
                if (leaves[k].second == part.textSize && std::memcmp(text + at, given.text, part.textSize) == 0) {
                    part.text = at - pieceStart;
                    part.inDocument = true;
                    *nextLeaf = k + 1;
                    break;
                }
            }
            if (!part.inDocument) part.text = Keep(given.text, part.textSize);
        }
        parts_.push_back(part);
    }
    const size_t partCount = parts_.size() - firstPart;
    const Part only = partCount ? parts_[firstPart] : Part{};
    shape.oneText = partCount == 1 && only.type == 1 && !only.named && only.declaredLength == 0 && only.inDocument &&
                    only.text <= UINT32_MAX && only.textSize <= UINT32_MAX;
    if (shape.oneText) {
        // The message holds where its text lies, and no part is kept.
        message.first = static_cast<uint32_t>(only.text);
        message.count = static_cast<uint32_t>(only.textSize);
        parts_.resize(firstPart);
    } else {
        message.first = static_cast<uint32_t>(firstPart);
        message.count = static_cast<uint32_t>(partCount);
    }
    message.shape = ShapeOf(shape);
    messages_.push_back(std::move(message));
}

void CSMSSession::DocumentPieces(std::vector<std::pair<const char*, size_t>>* pieces) {
    pieces->clear();
    if (head_.empty()) {
        pieces->emplace_back(text_.data(), text_.size());
        return;
    }
    pieces->reserve(messages_.size() + 2);
    pieces->emplace_back(head_.data(), head_.size());
    for (const Message& message : messages_) pieces->emplace_back(message.piece.get(), message.pieceSize);
    pieces->emplace_back(tail_.data(), tail_.size());
}

std::string CSMSSession::DocumentText() {
    std::vector<std::pair<const char*, size_t>> pieces;
    DocumentPieces(&pieces);
    size_t size = 0;
    for (const auto& piece : pieces) size += piece.second;
    std::string text;
    text.reserve(size);
    for (const auto& piece : pieces) text.append(piece.first, piece.second);
    return text;
}

bool CSMSSession::HoldsFiles() {
    for (const Message& message : messages_) {
        if (shapes_[message.shape].oneText) continue;
        for (size_t i = 0; i < message.count; ++i)
            if (parts_[message.first + i].type >= 2 && parts_[message.first + i].type <= 5) return true;
    }
    return false;
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
