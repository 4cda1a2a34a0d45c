#include "media_recovery/raw/CRAWFileNode.h"

#include <cstdio>
#include <cstring>

#include "media_recovery/raw/RawFileTypes.h"

namespace {
uint32_t g_nameCounters[2000];
}  // namespace

CRAWFileNode::~CRAWFileNode() = default;

void CRAWFileNode::SetProperties(std::unique_ptr<CRAWFileProperties> properties) {
    properties_ = std::move(properties);
    SetDataRuns(properties_ ? properties_->GetDataRuns() : nullptr);
}

void ResetNameCounters() { std::memset(g_nameCounters, 0, sizeof(g_nameCounters)); }

std::string CRAWFileNode::MakeName(const std::string& prefix, uint32_t typeId) {
    uint32_t idx = typeId & 0xFFFF;
    const char* ext = GetRawTypeName(idx);
    if (!ext) return std::string();
    std::string clean;
    for (unsigned char c : prefix) {
        if (clean.size() >= 200) break;
        bool bad = c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' ||
                   c == '"' || c == '<' || c == '>' || c == '|';
        clean.push_back(bad ? '_' : static_cast<char>(c));
    }
    // Leading dots or blanks would make hidden or odd names.
    size_t lead = clean.find_first_not_of(". ");
    clean.erase(0, lead == std::string::npos ? clean.size() : lead);
    while (!clean.empty() && (clean.back() == ' ')) clean.pop_back();
    char name[260];
    if (clean.empty())
        std::snprintf(name, sizeof(name), "FILE%03u.%s", g_nameCounters[idx], ext);
    else
        std::snprintf(name, sizeof(name), "%s%03u.%s", clean.c_str(), g_nameCounters[idx], ext);
    ++g_nameCounters[idx];
    return name;
}
