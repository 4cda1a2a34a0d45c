#include "outside/logic/vantrel/LogicMessages.h"

#include <cstring>
#include <vector>

#include "msgcenter/CMsgCenter.h"
#include "platform/StringConversion.h"

ResultCode PostMessage(uint32_t id) { return CMsgCenter::Instance().PushMsg(id, nullptr, 0); }

ResultCode PostText(uint32_t id, const std::string& utf8) {
    std::u16string text = CutUtf16(utf8, kMostTextPayloadBytes / sizeof(char16_t) - 1);
    text.push_back(u'\0');
    return CMsgCenter::Instance().PushMsg(id, &text[0], static_cast<unsigned>(text.size() * sizeof(char16_t)));
}

ResultCode PostResult(uint32_t id, ResultCode result) {
    int64_t value = static_cast<int64_t>(result);
    return CMsgCenter::Instance().PushMsg(id, &value, sizeof value);
}

ResultCode PostBits(uint32_t id, uint32_t bits) { return CMsgCenter::Instance().PushMsg(id, &bits, sizeof bits); }

ResultCode PostProgress(uint32_t id, const PROGRESS_INFO& record) {
    PROGRESS_INFO copy = record;
    return CMsgCenter::Instance().PushMsg(id, &copy, sizeof copy);
}

PROGRESS_INFO MakeProgress(uint32_t state, uint64_t total, uint64_t done) {
    PROGRESS_INFO record;
    std::memset(&record, 0, sizeof record);
    record.state = state;
    record.total = total;
    record.done = done;
    return record;
}

void SetProgressText(PROGRESS_INFO& record, const std::string& utf8) {
    std::string text = CutUtf8(utf8, sizeof record.text - 1);
    std::memset(record.text, 0, sizeof record.text);
    std::memcpy(record.text, text.data(), text.size());
}

std::u16string CutUtf16(const std::string& utf8, size_t maxUnits) {
    std::u16string text = platform::Utf8ToUtf16(utf8);
    if (text.size() <= maxUnits) return text;
    size_t end = maxUnits;
    // A high surrogate whose low half would be cut off goes with it.
    if (end > 0 && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
    return text.substr(0, end);
}

std::string CutUtf8(const std::string& text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t end = maxBytes;
    // Back over continuation bytes to the start of the character that does not fit.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}
