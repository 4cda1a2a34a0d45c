#pragma once
#include <cstdint>

#include "media_recovery/ExtensionHash.h"
#include "media_recovery/IRecoveryFilter.h"

// The process-wide file-category filter: extension lists per category in a hash table, and the
// set of selected categories (empty: everything passes).
class CRecoveryFilter : public IRecoveryFilter {
public:
    CRecoveryFilter();
    ~CRecoveryFilter() override;

    bool IsEnabled() override { return enabled_ != 0; }
    void SetEnabled(int value) override { enabled_ = value; }
    bool Accept(IFileNode* node) override;
    // 127 and 0 both select everything.
    void SetCategories(int flags) override;
    int GetCategoryFlag(IFileNode* node) override;
    void Reserved() override {}

    int GetCategories() const { return flags_; }
    // 8 for a null node, a missing name, no full stop or an unknown extension.
    int GetExtensionCategory(IFileNode* node) const;
    int GetNameCategory(const char* name) const;

private:
    // An extension upper-cased (up to 15 bytes) and its category; length ~0 for none yet.
    struct LastExtension {
        char text[15];
        size_t length = ~size_t{0};
        int category = 0;
    };

    int enabled_ = 0;
    int flags_ = 0;
    ExtensionHash hash_;
    uint32_t categories_ = 0;  // bit c: category c is selected; none: everything passes
};

// Built on first use; destroyed at process exit.
CRecoveryFilter* GetRecoveryFilter();
// The selection flag of a category (64 for 8 and anything unknown).
int CategoryFlag(int category);
