#include "sms/CSMSItem.h"

#include "sqlite_recovery/framework/Base64.h"
#include "sms/SmsXmlAttributes.h"


CSMSItem::CSMSItem(const SmsPartContent& part) : part_(part) {
    if (part_.type == 1) {
        text_.assign(part_.text, part_.textSize);
        length_ = ClampToInt(static_cast<int64_t>(text_.size()) + 1);
    } else if (part_.type >= 2 && part_.type <= 5) {
        // The stored length bounds what is kept; the length reported is what was really decoded.
        if (part_.declaredLength > 0) {
            data_ = Base64Decode(std::string(part_.text, part_.textSize));
            if (static_cast<int64_t>(data_.size()) > part_.declaredLength)
                data_.resize(static_cast<size_t>(part_.declaredLength));
        }
        length_ = ClampToInt(static_cast<int64_t>(data_.size()));
    }
}

CSMSItem::~CSMSItem() {}

const char* CSMSItem::GetFileName() { return part_.named ? part_.fileName : nullptr; }

int CSMSItem::GetType() { return part_.type; }

const char* CSMSItem::GetData() {
    if (part_.type == 1) return text_.c_str();
    if (part_.type >= 2 && part_.type <= 5 && !data_.empty()) return reinterpret_cast<const char*>(data_.data());
    return nullptr;
}

int CSMSItem::GetLength() { return length_; }
