#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Open-addressing table of 2048 slots keyed by three string hashes of an extension, ASCII case
// ignored. Duplicates are not detected; a full table drops further extensions.
class ExtensionHash {
public:
    static constexpr int kSlots = 2048;

    struct Slot {
        int32_t category;
        uint32_t used;
        uint32_t checkA;
        uint32_t checkB;
    };

    ExtensionHash();
    // Fills the scramble table (done by the constructor).
    void Init();
    uint32_t HashString(const char* text, int type) const;
    void Insert(const char* extension, int category);
    // Slot index, or -1.
    int Find(const char* extension) const;
    const Slot& At(int index) const { return slots_[static_cast<size_t>(index)]; }
    int UsedSlots() const;

private:
    // The hashes of types 0, 1 and 2 in one pass.
    void HashAll(const char* text, uint32_t* h, uint32_t* a, uint32_t* b) const;
    static uint64_t CheckKey(uint32_t a, uint32_t b) { return (static_cast<uint64_t>(a) << 32) | b; }

    std::vector<Slot> slots_;
    std::vector<uint64_t> checks_;  // the check pairs of the used slots, sorted
    uint32_t scramble_[1280];
};

// Categories of the extension table.
enum : int {
    CATEGORY_MAIL = 2,
    CATEGORY_PICTURE = 3,
    CATEGORY_AUDIO = 4,
    CATEGORY_VIDEO = 5,
    CATEGORY_ARCHIVE = 6,
    CATEGORY_DOCUMENT = 7,
    CATEGORY_OTHER = 8,
};

// Inserts every ';'-separated piece of list under category.
void AddExtensionList(const char* list, ExtensionHash& hash, int category);
// The category lists of pictures, audio, video, archives, documents and mail, in that order.
void InitExtensionGroups(ExtensionHash& hash);
