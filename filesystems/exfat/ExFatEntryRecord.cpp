#include "filesystems/exfat/ExFatEntryRecord.h"

#include "filesystems/exfat/ExFatLayout.h"

namespace {

void Append(ExFatEntryRecord& r, char32_t c) {
    char bytes[4];
    size_t n;
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        n = 1;
    } else if (c < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | (c >> 6));
        bytes[1] = static_cast<char>(0x80 | (c & 0x3F));
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | (c >> 12));
        bytes[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | (c & 0x3F));
        n = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | (c >> 18));
        bytes[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        bytes[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        bytes[3] = static_cast<char>(0x80 | (c & 0x3F));
        n = 4;
    }
    if (r.nameBytes + n > ExFatEntryRecord::kNameBytes - 1) {
        r.nameBytes = ExFatEntryRecord::kNameBytes - 1;  // full: the text stays cut where it was
        return;
    }
    for (size_t i = 0; i < n; ++i) r.name[r.nameBytes++] = bytes[i];
    r.name[r.nameBytes] = 0;
}

constexpr char32_t kUnmapped = 0x01;

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

void AppendExFatNamePiece(ExFatEntryRecord& r, const uint8_t* entry) {
    for (size_t i = 0; i < exfat::kNameUnitsPerEntry; ++i) {
        const char16_t u = LoadLE16(entry + exfat::kNameText + 2 * i);
        if (u == 0) break;
        if (r.pendingSurrogate) {
            const char16_t high = r.pendingSurrogate;
            r.pendingSurrogate = 0;
            if (IsLow(u)) {
                Append(r, 0x10000 + ((static_cast<char32_t>(high) - 0xD800) << 10) + (u - 0xDC00));
                continue;
            }
            Append(r, kUnmapped);
        }
        if (IsHigh(u)) r.pendingSurrogate = u;
        else Append(r, IsLow(u) ? kUnmapped : u);
    }
}

void FinishExFatName(ExFatEntryRecord& r) {
    if (!r.pendingSurrogate) return;
    r.pendingSurrogate = 0;
    Append(r, kUnmapped);
}
