#pragma once
// Directory entries and boot sectors made byte by byte for the exFAT tests.
#include <cstdint>
#include <string>
#include <vector>

namespace exfattest {

using Entry = std::vector<uint8_t>;

inline void Put16(uint8_t* p, uint16_t v) { p[0] = v & 0xFF, p[1] = v >> 8; }
inline void Put32(uint8_t* p, uint32_t v) { Put16(p, v & 0xFFFF), Put16(p + 2, v >> 16); }
inline void Put64(uint8_t* p, uint64_t v) {
    Put32(p, static_cast<uint32_t>(v)), Put32(p + 4, static_cast<uint32_t>(v >> 32));
}

// 2024-05-17 13:45:58
constexpr uint32_t kTime = (44u << 25) | (5u << 21) | (17u << 16) | (13u << 11) | (45u << 5) | 29u;

inline Entry FileEntry(uint8_t type, uint8_t secondaries, uint16_t attributes = 0x20) {
    Entry e(32);
    e[0] = type;
    e[1] = secondaries;
    Put16(&e[4], attributes);
    Put32(&e[8], kTime), Put32(&e[12], kTime), Put32(&e[16], kTime);
    return e;
}
inline Entry StreamEntry(uint8_t type, uint32_t first, uint64_t length, bool noFatChain) {
    Entry e(32);
    e[0] = type;
    e[1] = noFatChain ? 3 : 1;
    Put64(&e[8], length), Put32(&e[20], first), Put64(&e[24], length);
    return e;
}
inline Entry NameEntry(uint8_t type, const std::u16string& units) {
    Entry e(32);
    e[0] = type;
    for (size_t i = 0; i < units.size() && i < 15; ++i) Put16(&e[2 + 2 * i], units[i]);
    return e;
}
// The set checksum over a set's bytes, its own field left out.
inline void PutSetChecksum(Entry& set) {
    uint16_t sum = 0;
    for (size_t i = 0; i < set.size(); ++i)
        if (i != 2 && i != 3) sum = static_cast<uint16_t>(((sum >> 1) | (sum << 15)) + set[i]);
    Put16(&set[2], sum);
}
// A whole set: file, stream (with the name's length and hash, units below 0x80 capitalised), the
// name in entries of 15 units, then extra entries.
inline Entry Set(bool live, const std::u16string& name, uint32_t first, uint64_t length, std::vector<Entry> extra = {},
                 uint16_t attributes = 0x20, bool noFatChain = true) {
    const size_t names = (name.size() + 14) / 15;
    Entry set = FileEntry(live ? 0x85 : 0x05, static_cast<uint8_t>(1 + names + extra.size()), attributes);
    Entry s = StreamEntry(live ? 0xC0 : 0x40, first, length, noFatChain);
    uint16_t hash = 0;
    for (char16_t u : name) {
        const uint16_t capital = u >= 'a' && u <= 'z' ? static_cast<uint16_t>(u - 0x20) : static_cast<uint16_t>(u);
        for (uint8_t byte : {static_cast<uint8_t>(capital & 0xFF), static_cast<uint8_t>(capital >> 8)})
            hash = static_cast<uint16_t>(((hash >> 1) | (hash << 15)) + byte);
    }
    s[3] = static_cast<uint8_t>(name.size());
    Put16(&s[4], hash);
    set.insert(set.end(), s.begin(), s.end());
    for (size_t i = 0; i < names; ++i) {
        Entry n = NameEntry(live ? 0xC1 : 0x41, name.substr(15 * i, 15));
        set.insert(set.end(), n.begin(), n.end());
    }
    for (Entry& x : extra) set.insert(set.end(), x.begin(), x.end());
    PutSetChecksum(set);
    return set;
}
// A live folder's set.
inline Entry FolderSet(const std::u16string& name, uint32_t first, uint64_t length) {
    return Set(true, name, first, length, {}, 0x10, false);
}

// An exFAT main boot sector of 4096 bytes (the fields in its first 512).
inline std::vector<uint8_t> BootSector(uint64_t volumeLength, uint32_t fatOffset, uint32_t fatLength,
                                       uint32_t heapOffset, uint32_t clusterCount, uint32_t rootCluster,
                                       uint8_t sectorShift = 9, uint8_t clusterShift = 0, uint8_t fats = 1) {
    std::vector<uint8_t> s(4096);
    s[0] = 0xEB, s[1] = 0x76, s[2] = 0x90;  // the jump over the fields
    const char name[] = "EXFAT   ";
    for (int i = 0; i < 8; ++i) s[3 + i] = static_cast<uint8_t>(name[i]);
    Put64(&s[72], volumeLength), Put32(&s[80], fatOffset), Put32(&s[84], fatLength), Put32(&s[88], heapOffset);
    Put32(&s[92], clusterCount), Put32(&s[96], rootCluster);
    s[108] = sectorShift, s[109] = clusterShift, s[110] = fats, s[510] = 0x55, s[511] = 0xAA;
    return s;
}

}  // namespace exfattest
