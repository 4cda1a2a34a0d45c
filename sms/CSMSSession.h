#pragma once
#include <string>

#include "sms/ISMSSession.h"
#include <tinyxml.h>

// A conversation parsed once from its document.
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
    int GetTotal() override;
    int GetDeletedCount() override;
    int Matches(const char* keyword) override;
    const char* GetDocumentText() override { return text_.c_str(); }

private:
    std::string text_;
    TiXmlDocument document_;
    const TiXmlElement* root_ = nullptr;
    const TiXmlElement* cursor_ = nullptr;
    std::string number_;
    std::string name_;
};
