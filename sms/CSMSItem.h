#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/Lockers.h"

// What a "text" or "value" element of a conversation document says. The texts are not copies:
// they point into the session that read the element, and the element's text is not terminated.
struct SmsPartContent {
    int type = 0;
    bool named = false;  // the element has a "filename"
    const char* fileName = "";
    const char* text = "";  // the element's text, for texts and files only
    size_t textSize = 0;
    int64_t declaredLength = 0;
};

// One part of a message; keeps its own copy of a text, or of a file's decoded bytes.
class CSMSItem : public ISMSItem, public none_copyable {
public:
    // The part's texts belong to its session, which outlives the item.
    explicit CSMSItem(const SmsPartContent& part);
    ~CSMSItem() override;

    void Release() override { delete this; }
    const char* GetFileName() override;
    int GetType() override;
    const char* GetData() override;
    int GetLength() override;

private:
    SmsPartContent part_;
    std::string text_;
    std::vector<unsigned char> data_;
    int length_ = 0;
};
