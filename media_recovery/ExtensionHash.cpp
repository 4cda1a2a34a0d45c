#include "media_recovery/ExtensionHash.h"

#include <algorithm>
#include <string>

namespace {
const char kPictures[] =
    "ai;xbm;nrw;odi;orf;oti;pct;pef;pic;png;psd;pwl;qti;raf;raw;icns;rwl;sgi;srf;srw;svg;tga;tif;erf;exr;fff;fpx;"
    "gif;hdr;ico;jpg;jpf;jpe;jpx;mnc;mos;mpo;mrw;nef;arw;bmp;crw;dcr;dng;jpeg;svg;cr2;sr2";
const char kAudio[] =
    "aifc;aiff;aif;aa;au;ra;ul;ulw;wav;wax;wma;nvf;ram;smf;snd;kar;mid;aax;aif;amr;bwf;caf;dls;cdda;m4a;mp3";
const char kVideo[] =
    "wmp;wmv;wmx;wvx;vfw;qtl;sdv;mov;mpe;mpg;avi;cel;dif;flc;fli;flv;qt;ts;rm;wm;dv;mp4;3g2;3gp;m4v;mpeg";
const char kArchives[] = "zip;rar;ttc;ttf;otf;pfa;pfb";
const char kDocuments[] = "key;pps;ppt;pptx;xls;xlsx;numbers;doc;docx;pdf;txt;rtf";
const char kMail[] = "efx;eml;jfx;emlx;chat;vcf";
}  // namespace

ExtensionHash::ExtensionHash() : slots_(kSlots, Slot{0, 0, 0, 0}) { Init(); }

void ExtensionHash::Init() {
    uint32_t seed = 0x00100001;
    for (int c = 0; c < 256; ++c) {
        for (int r = 0; r < 5; ++r) {
            seed = (seed * 125 + 3) % 0x2AAAAB;
            uint32_t high = seed & 0xFFFF;
            seed = (seed * 125 + 3) % 0x2AAAAB;
            uint32_t low = seed & 0xFFFF;
            scramble_[r * 256 + c] = (high << 16) | low;
        }
    }
}

namespace {
uint32_t AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c; }
}  // namespace

uint32_t ExtensionHash::HashString(const char* text, int type) const {
    uint32_t s1 = 0x7FED7FED, s2 = 0xEEEEEEEE;
    if (!text || type < 0 || type > 4) return s1;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        uint32_t ch = AsciiUpper(*p);  // ASCII letters only
        s1 = scramble_[type * 256 + ch] ^ (s1 + s2);
        s2 = s2 * 97 + ch + s1;
    }
    return s1;
}

void ExtensionHash::HashAll(const char* text, uint32_t* h, uint32_t* a, uint32_t* b) const {
    uint32_t h1 = 0x7FED7FED, h2 = 0xEEEEEEEE, a1 = h1, a2 = h2, b1 = h1, b2 = h2;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p) {
        const uint32_t ch = AsciiUpper(*p);
        h1 = scramble_[ch] ^ (h1 + h2);
        h2 = h2 * 97 + ch + h1;
        a1 = scramble_[256 + ch] ^ (a1 + a2);
        a2 = a2 * 97 + ch + a1;
        b1 = scramble_[512 + ch] ^ (b1 + b2);
        b2 = b2 * 97 + ch + b1;
    }
    *h = h1;
    *a = a1;
    *b = b1;
}

void ExtensionHash::Insert(const char* extension, int category) {
    if (!extension) return;
    uint32_t h, a, b;
    HashAll(extension, &h, &a, &b);
    int start = static_cast<int>(h & (kSlots - 1));
    int i = start;
    do {
        Slot& slot = slots_[static_cast<size_t>(i)];
        if (!slot.used) {
            slot = Slot{category, 1, a, b};
            checks_.insert(std::upper_bound(checks_.begin(), checks_.end(), CheckKey(a, b)), CheckKey(a, b));
            return;
        }
        i = (i + 1) & (kSlots - 1);
    } while (i != start);
}

int ExtensionHash::Find(const char* extension) const {
    if (!extension) return -1;
    uint32_t h, a, b;
    HashAll(extension, &h, &a, &b);
    int start = static_cast<int>(h & (kSlots - 1));
    int i = start;
    // Every slot is examined, past free ones too, until a match. Nothing is ever removed, so an
    // extension normally lies before the first free slot; past it only a pair of checks that is in
    // the table at all can match.
    bool pastFree = false;
    do {
        const Slot& slot = slots_[static_cast<size_t>(i)];
        if (slot.used && slot.checkA == a && slot.checkB == b) return i;
        if (!slot.used && !pastFree) {
            if (!std::binary_search(checks_.begin(), checks_.end(), CheckKey(a, b))) return -1;
            pastFree = true;
        }
        i = (i + 1) & (kSlots - 1);
    } while (i != start);
    return -1;
}

int ExtensionHash::UsedSlots() const {
    int n = 0;
    for (const Slot& slot : slots_) n += slot.used ? 1 : 0;
    return n;
}

void AddExtensionList(const char* list, ExtensionHash& hash, int category) {
    if (!list || !*list) return;
    std::string text(list);
    size_t start = 0;
    while (true) {
        size_t end = text.find(';', start);
        hash.Insert(text.substr(start, end == std::string::npos ? std::string::npos : end - start).c_str(), category);
        if (end == std::string::npos) break;
        start = end + 1;
    }
}

void InitExtensionGroups(ExtensionHash& hash) {
    AddExtensionList(kPictures, hash, CATEGORY_PICTURE);
    AddExtensionList(kAudio, hash, CATEGORY_AUDIO);
    AddExtensionList(kVideo, hash, CATEGORY_VIDEO);
    AddExtensionList(kArchives, hash, CATEGORY_ARCHIVE);
    AddExtensionList(kDocuments, hash, CATEGORY_DOCUMENT);
    AddExtensionList(kMail, hash, CATEGORY_MAIL);
}
