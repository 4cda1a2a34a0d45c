#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "sms/CSMSItem.h"
#include "sms/ISMSSession.h"

// What an "sms" or "mms" element of a conversation document says; its texts point into the
// session that read it.
struct SmsMessageContent {
    int type = 0;
    int deleted = 0;
    int send = 0;
    bool failed = false;
    bool cut = false;
    int64_t date = 0;
    const char* kind = "";
    std::vector<SmsPartContent> parts;  // every child element, in order

    // Whether a text part contains the keyword.
    bool Matches(const char* keyword) const;
    static bool PartMatches(const SmsPartContent& part, const char* keyword);
};

// One message of a session.
class CSMSData : public ISMSData, public ISMSMessageKind {
public:
    // The message's texts belong to its session, which outlives the data object.
    explicit CSMSData(SmsMessageContent message) : message_(std::move(message)) {}
    ~CSMSData() override;

    void Release() override { delete this; }
    ISMSItem* FirstItem() override;
    ISMSItem* NextItem() override;
    int IsDeleted() override { return message_.deleted; }
    int GetSend() override { return message_.send; }
    int GetDate() override;
    int GetType() override;
    int Matches(const char* keyword) override { return message_.Matches(keyword) ? 1 : 0; }
    int IsFailed() override { return message_.failed ? 1 : 0; }
    int64_t GetDate64() override { return message_.date; }
    const char* GetKind() override { return message_.kind; }
    int IsCut() override { return message_.cut ? 1 : 0; }

private:
    ISMSItem* ItemAt(size_t index);

    SmsMessageContent message_;
    size_t next_ = 0;  // the part the next NextItem gives
};
