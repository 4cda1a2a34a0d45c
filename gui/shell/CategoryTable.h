#pragma once

// GUI category numbers, shared with the logic contract.
enum : int {
    CATEGORY_DEVICE = 0,
    CATEGORY_CONTACTS = 1,
    CATEGORY_MESSAGES = 2,
    CATEGORY_GALLERY = 3,
    CATEGORY_VIDEOS = 4,
    CATEGORY_AUDIO = 5,
    CATEGORY_DOCUMENTS = 6,
    CATEGORY_COUNT = 7,
};

// One row of the category table: id, icon path and localised label, each an owned copy.
struct _CATEGORY_ITEM {
    _CATEGORY_ITEM(int id, const char* label, const char* icon);
    ~_CATEGORY_ITEM();
    _CATEGORY_ITEM(const _CATEGORY_ITEM&) = delete;
    _CATEGORY_ITEM& operator=(const _CATEGORY_ITEM&) = delete;

    int id;
    char* icon;
    char* label;
};

// The seven rows, built on first use in the language chosen at start; row i has id i.
const _CATEGORY_ITEM* GetCategoryTable();
// The row of a category, null outside 0 to 6.
const _CATEGORY_ITEM* GetCategoryItem(int id);
