#include "sms/CSMSData.h"

#include <new>

#include "sms/SmsXmlAttributes.h"
#include "sqlite_recovery/framework/TextUtils.h"

bool SmsMessageContent::PartMatches(const SmsPartContent& part, const char* keyword) {
    if (part.type != 1) return false;  // file names never match
    return ContainsNoCase(keyword, std::string(part.text, part.textSize).c_str());
}

bool SmsMessageContent::Matches(const char* keyword) const {
    if (!keyword || !*keyword) return true;
    for (const SmsPartContent& part : parts)
        if (PartMatches(part, keyword)) return true;
    return false;
}

CSMSData::~CSMSData() {}

ISMSItem* CSMSData::ItemAt(size_t index) {
    if (index >= message_.parts.size()) {
        next_ = message_.parts.size();
        return nullptr;
    }
    next_ = index + 1;
    return new (std::nothrow) CSMSItem(message_.parts[index]);
}

ISMSItem* CSMSData::FirstItem() { return ItemAt(0); }

ISMSItem* CSMSData::NextItem() {
    if (next_ == 0 || next_ > message_.parts.size()) return nullptr;
    return ItemAt(next_);
}

int CSMSData::GetDate() { return ClampToInt(GetDate64()); }

int CSMSData::GetType() { return message_.type == 1 || message_.type == 2 ? message_.type : 0; }
