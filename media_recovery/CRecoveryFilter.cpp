#include "media_recovery/CRecoveryFilter.h"

#include <cstring>
#include <new>

#include "media_recovery/file_model/IFileNode.h"


CRecoveryFilter::CRecoveryFilter() {
    InitExtensionGroups(hash_);
    SetCategories(FILTER_FLAG_PICTURE | FILTER_FLAG_AUDIO | FILTER_FLAG_VIDEO | FILTER_FLAG_DOCUMENT);
}

CRecoveryFilter::~CRecoveryFilter() {}

void CRecoveryFilter::SetCategories(int flags) {
    flags_ = flags;
    categories_ = 0;
    if (flags == FILTER_FLAGS_ALL) return;
    if (flags & FILTER_FLAG_MAIL) categories_ |= 1u << CATEGORY_MAIL;
    if (flags & FILTER_FLAG_PICTURE) categories_ |= 1u << CATEGORY_PICTURE;
    if (flags & FILTER_FLAG_AUDIO) categories_ |= 1u << CATEGORY_AUDIO;
    if (flags & FILTER_FLAG_VIDEO) categories_ |= 1u << CATEGORY_VIDEO;
    if (flags & FILTER_FLAG_DOCUMENT) categories_ |= 1u << CATEGORY_DOCUMENT;
    if (flags & FILTER_FLAG_ARCHIVE) categories_ |= 1u << CATEGORY_ARCHIVE;
    if (flags & FILTER_FLAG_OTHER) categories_ |= 1u << CATEGORY_OTHER;
}

int CRecoveryFilter::GetNameCategory(const char* name) const {
    if (!name) return CATEGORY_OTHER;
    const char* dot = std::strrchr(name, '.');
    if (!dot) return CATEGORY_OTHER;
    // Files come by the folder, mostly sharing an extension: each thread keeps its last answer.
    // Every filter holds the same extension lists, so the answer holds for all of them.
    thread_local LastExtension last;
    char upper[sizeof last.text];
    size_t length = 0;
    for (const char* p = dot + 1; *p && length < sizeof upper; ++p, ++length) {
        const char c = *p;
        upper[length] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    const bool fits = dot[1 + length] == '\0';
    if (fits && last.length == length && std::memcmp(upper, last.text, length) == 0) return last.category;
    int slot = hash_.Find(dot + 1);
    const int category = slot < 0 ? CATEGORY_OTHER : hash_.At(slot).category;
    if (fits) {
        std::memcpy(last.text, upper, length);
        last.length = length;
        last.category = category;
    }
    return category;
}

int CRecoveryFilter::GetExtensionCategory(IFileNode* node) const {
    return node ? GetNameCategory(node->GetName()) : CATEGORY_OTHER;
}

bool CRecoveryFilter::Accept(IFileNode* node) {
    if (!node) return false;
    if (categories_ == 0 || node->IsDirectory()) return true;
    const int category = GetExtensionCategory(node);
    return category >= 0 && category < 32 && (categories_ >> category) & 1u;
}

int CategoryFlag(int category) {
    switch (category) {
        case CATEGORY_MAIL: return FILTER_FLAG_MAIL;
        case CATEGORY_PICTURE: return FILTER_FLAG_PICTURE;
        case CATEGORY_AUDIO: return FILTER_FLAG_AUDIO;
        case CATEGORY_VIDEO: return FILTER_FLAG_VIDEO;
        case CATEGORY_ARCHIVE: return FILTER_FLAG_ARCHIVE;
        case CATEGORY_DOCUMENT: return FILTER_FLAG_DOCUMENT;
        default: return FILTER_FLAG_OTHER;
    }
}

int CRecoveryFilter::GetCategoryFlag(IFileNode* node) { return CategoryFlag(GetExtensionCategory(node)); }

CRecoveryFilter* GetRecoveryFilter() {
    static CRecoveryFilter* filter = new (std::nothrow) CRecoveryFilter;
    static struct Holder {
        ~Holder() { delete filter; }
    } holder;
    return filter;
}
