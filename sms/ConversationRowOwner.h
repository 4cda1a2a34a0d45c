#pragma once
#include <cstdint>
#include <vector>

#include "sms/MessageAssembler.h"

class CTableRow;

// The rows of the conversations once they are assembled. Each row goes as soon as the last
// conversation that holds it has become its document, so that a large phone's rows are not all
// kept beside all of its conversations. An MMS holds its parts.
class ConversationRowOwner {
public:
    ConversationRowOwner() = default;
    ConversationRowOwner(const ConversationRowOwner&) = delete;
    ConversationRowOwner& operator=(const ConversationRowOwner&) = delete;
    ~ConversationRowOwner() { ReleaseAll(); }

    // Takes over rows that their owners have given up (each listed once): those that conversations
    // of result hold stay until their last conversation is done; the others are released now.
    void TakeOver(const SmsResultMap& result, std::vector<CTableRow*> rows);
    // The conversation is done with: the rows that no other conversation holds go, and the
    // conversation with them.
    void Done(SmsResultMap& result, SmsResultMap::iterator entry);
    // Releases every row still held; nothing may point to them any more.
    void ReleaseAll();

private:
    // Position of row in rows_, or rows_.size().
    size_t Find(const CTableRow* row) const;
    // Counts (by 1) or drops (by -1) a conversation's hold on a message and, for an MMS, on its parts.
    void Hold(const CTableRow* row, int by);

    std::vector<CTableRow*> rows_;   // in address order
    std::vector<uint32_t> holders_;  // the holds on rows_[i]; 0 once released
};
