#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sms/CSMSData.h"
#include "sms/ISMSSession.h"

// A conversation read once from its document. What the messages say is kept, not the parsed
// document: its nodes take several times the text's size, and a run holds every conversation. So
// that a message takes few bytes and no allocation of its own, messages and parts are small
// records, and a part's text is read where the document holds it; only a text that the document
// writes otherwise (with references) is kept again, with the names, in one string.
class CSMSSession : public ISMSSession, public ISMSDocument {
public:
    explicit CSMSSession(const char* xmlText);
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
    const char* GetDocumentText() override { return text_.c_str(); }

private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // A root's child element.
    struct Message {
        int64_t date;
        size_t kind;  // in strings_; kNone when the element has none
        size_t firstPart;
        uint32_t partCount;
        int32_t type, deleted, send;
        bool failed;
    };
    // A message's child element.
    struct Part {
        size_t text;  // in text_ when inDocument, else in strings_
        size_t textSize;
        size_t fileName;  // in strings_
        int64_t declaredLength;
        int32_t type;
        bool named, inDocument;
    };
    ISMSData* DataAt(size_t index);
    SmsPartContent PartContent(const Part& part) const;
    // Appends a text with its terminating zero; where it begins.
    size_t Keep(const char* text, size_t size);

    std::string text_;
    std::string number_;
    std::string name_;
    int total_ = 0;
    int deletedCount_ = 0;
    std::string strings_;  // kinds, file names and texts not found as such in text_, each ending in a zero
    std::vector<Message> messages_;
    std::vector<Part> parts_;
    bool rootHasChildren_ = false;
    bool endsWithMessage_ = false;  // the root's last child is an element
    size_t cursor_ = kNone;
};
