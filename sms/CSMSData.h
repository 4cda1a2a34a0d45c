#pragma once
#include "sms/ISMSSession.h"

class TiXmlElement;

// One "sms" or "mms" element of a session's document.
class CSMSData : public ISMSData, public ISMSMessageKind {
public:
    explicit CSMSData(const TiXmlElement* message) : message_(message) {}
    ~CSMSData() override;

    void Release() override { delete this; }
    ISMSItem* FirstItem() override;
    ISMSItem* NextItem() override;
    int IsDeleted() override;
    int GetSend() override;
    int GetDate() override;
    int GetType() override;
    int Matches(const char* keyword) override;
    int IsFailed() override;
    int64_t GetDate64() override;
    const char* GetKind() override;

    // Whether an element's text parts contain the keyword, without touching any cursor.
    static bool MessageMatches(const TiXmlElement* message, const char* keyword);

private:
    const TiXmlElement* message_;
    const TiXmlElement* cursor_ = nullptr;
};
