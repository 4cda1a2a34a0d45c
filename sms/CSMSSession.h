#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "sms/CSMSData.h"
#include "sms/ISMSSession.h"

// A conversation read once from its document. What the messages say is kept, not the parsed
// document: its nodes take several times the text's size, and a run holds every conversation.
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
    ISMSData* DataAt(size_t index);

    std::string text_;
    std::string number_;
    std::string name_;
    int total_ = 0;
    int deletedCount_ = 0;
    std::vector<SmsMessageContent> messages_;  // the root's child elements
    bool rootHasChildren_ = false;
    bool endsWithMessage_ = false;  // the root's last child is an element
    size_t cursor_ = kNone;
};
