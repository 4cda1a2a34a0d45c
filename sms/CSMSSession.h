#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "sms/CSMSData.h"
#include "sms/ISMSSession.h"

// A conversation read once from its document. What the messages say is kept, not the parsed
// document: its nodes take several times the text's size, and a run holds every conversation.
// Messages and parts are small records, and a part's text is read where the document holds it;
// only a text that the document writes otherwise (with references) is kept again, with the names,
// in one string. The document itself is kept a message at a time, each message's text in a piece
// of its own: pieces the size of a message fit where the rows of the conversations made before
// lay, where one text the size of a conversation would take new memory; so would blocks of a few
// pieces (blocks of 1 KiB made a run's peak memory a fifth larger).
class CSMSSession : public ISMSSession, public ISMSDocument {
public:
    // A session read from a document's text.
    explicit CSMSSession(const char* xmlText);
    // A session made as its document is written, without reading the text back: each message with
    // what it says and its piece of the document (from the end of the one before), then the
    // document's head (up to the root's start tag's end), its tail and what the root says.
    CSMSSession() = default;
    void AddWrittenMessage(const SmsMessageContent& message, const char* piece, size_t size);
    void FinishWritten(std::string head, std::string tail, std::string number, std::string name, int total,
                       int deletedCount);
    ~CSMSSession() override;

    void Release() override { delete this; }
    ISMSData* FirstData() override;
    ISMSData* NextData() override;
    ISMSData* LastData() override;
    const char* GetNumber() override { return number_.c_str(); }
    const char* GetName() override { return name_.c_str(); }
    int GetTotal() override { return total_; }
    int GetDeletedCount() override { return deletedCount_; }
    int Matches(const char* keyword) override;
    std::string DocumentText() override;
    void DocumentPieces(std::vector<std::pair<const char*, size_t>>* pieces) override;
    bool HoldsFiles() override;

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // What a root's child element says besides its date and its parts. The messages of a
    // conversation say one of a few such things: each is kept once.
    struct Shape {
        int32_t type, deleted, send;
        bool failed;
        bool cut;
        size_t kind;  // in strings_; kNone when the element has none
        // The element's one child is a text of type 1 and no more, read where the document holds
        // it: the message holds where it lies, and no part is kept.
        bool oneText;
        std::tuple<int32_t, int32_t, int32_t, bool, bool, size_t, bool> Key() const {
            return std::make_tuple(type, deleted, send, failed, cut, kind, oneText);
        }
    };
    // A root's child element.
    struct Message {
        std::unique_ptr<char[]> piece;  // its part of the document, when the document is kept so
        int64_t date;
        uint32_t pieceSize;
        uint32_t shape;
        uint32_t first;  // its first part; for one text, where the text begins in the document
        uint32_t count;  // its parts; for one text, the text's size
    };
    // A message's child element.
    struct Part {
        size_t text;  // in the message's piece (or text_) when inDocument, else in strings_
        size_t textSize;
        size_t fileName;  // in strings_
        int64_t declaredLength;
        int32_t type;
        bool named, inDocument;
    };
    using Leaves = std::vector<std::pair<size_t, size_t>>;
    // Keeps a message: what it says, and its piece of text, which lies in the pieceSize bytes
    // after pieceStart (kept as a piece of its own when keepPiece); the leaves are where texts lie
    // in text, in document order, and *nextLeaf the first not taken yet.
    void KeepMessage(const SmsMessageContent& content, const char* text, size_t pieceStart, size_t pieceSize,
                     bool keepPiece, const Leaves& leaves, size_t* nextLeaf);
    uint32_t ShapeOf(const Shape& shape);
    void FinishMessages();
    ISMSData* DataAt(size_t index);
    SmsPartContent PartContent(const Message& message, const Part& part) const;
    // Where the message's texts that the document holds lie.
    const char* DocumentBase(const Message& message) const;
    // The message's parts, in order.
    std::vector<SmsPartContent> PartContents(const Message& message) const;
    // Appends a text with its terminating zero; where it begins.
    size_t Keep(const char* text, size_t size);

    std::string text_;  // the whole document, when it is not kept a message at a time
    std::string head_;  // else: the document up to the first message, and after the last
    std::string tail_;
    std::string number_;
    std::string name_;
    int total_ = 0;
    int deletedCount_ = 0;
    std::string strings_;  // kinds, file names and texts the document writes otherwise, each ending in a zero
    std::vector<Shape> shapes_;
    std::vector<Message> messages_;
    std::vector<Part> parts_;
    Leaves leaves_;  // where the texts lie in the piece of the message being kept
    bool rootHasChildren_ = false;
    bool endsWithMessage_ = false;  // the root's last child is an element
    size_t cursor_ = kNone;
};
