#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/Lockers.h"

class TiXmlElement;

// What a "text" or "value" element of a conversation document says, read from it once.
struct SmsPartContent {
    int type = 0;
    bool named = false;  // the element has a "filename"
    std::string fileName;
    std::string text;  // the element's text, for texts and files only
    int64_t declaredLength = 0;

    static SmsPartContent FromElement(const TiXmlElement* part);
};

// One part of a message; keeps its own copy of a file's decoded bytes.
class CSMSItem : public ISMSItem, public none_copyable {
public:
    // The part belongs to its session and outlives the item.
    explicit CSMSItem(const SmsPartContent* part);
    ~CSMSItem() override;

    void Release() override { delete this; }
    const char* GetFileName() override;
    int GetType() override;
    const char* GetData() override;
    int GetLength() override;

    // The element's text, or empty when its first child is no text.
    static std::string ElementText(const TiXmlElement* element);

private:
    const SmsPartContent* part_;
    std::vector<unsigned char> data_;
    int length_ = 0;
};
