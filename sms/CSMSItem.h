#pragma once
#include <string>
#include <vector>

#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/Lockers.h"

class TiXmlElement;

// One "text" or "value" element; keeps its own copy of the text or of the decoded bytes.
class CSMSItem : public ISMSItem, public none_copyable {
public:
    explicit CSMSItem(const TiXmlElement* part);
    ~CSMSItem() override;

    void Release() override { delete this; }
    const char* GetFileName() override;
    int GetType() override;
    const char* GetData() override;
    int GetLength() override;

    // The element's text, or empty when its first child is no text.
    static std::string ElementText(const TiXmlElement* element);

private:
    const TiXmlElement* part_;
    std::string text_;
    std::vector<unsigned char> data_;
    int length_ = 0;
    int type_ = 0;
};
