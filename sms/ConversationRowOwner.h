#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "sms/MessageAssembler.h"

class CTableRow;

// The rows of the conversations once they are assembled. Each row goes as soon as the last
// conversation that holds it has become its document, so that a large phone's rows are not all
// kept beside all of its conversations. An MMS holds its parts. Most rows belong to one
// conversation: only those that several hold are counted.
class ConversationRowOwner {
public:
    ConversationRowOwner() = default;
    ConversationRowOwner(const ConversationRowOwner&) = delete;
    ConversationRowOwner& operator=(const ConversationRowOwner&) = delete;
    ~ConversationRowOwner() = default;

    // Takes over rows that their owners have given up (each listed once): those that conversations
    // of result hold stay until their last conversation is done; the others are released now.
    void TakeOver(const SmsResultMap& result, std::vector<CTableRow*> rows);
    // The conversation is done with: the rows that no other conversation holds go, and the
    // conversation with them.
    void Done(SmsResultMap& result, SmsResultMap::iterator entry);
    // Empties result; the rows its conversations hold go when they were taken over.
    void ReleaseAll(SmsResultMap& result);

private:
    // A conversation lets go of a message and, for an MMS, of its parts.
    void Drop(CTableRow* row);

    bool holding_ = false;
    std::vector<std::pair<const CTableRow*, uint32_t>> shared_;  // the rows several hold, in address order
};
