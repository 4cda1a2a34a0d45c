#pragma once
#include "platform/Export.h"

class IFileNode;

// Category selection flags: the flag of each category of the extension table.
enum : int {
    FILTER_FLAG_MAIL = 0x01,        // category 2: mail and contact files
    FILTER_FLAG_PICTURE = 0x02,     // category 3
    FILTER_FLAG_AUDIO = 0x04,       // category 4
    FILTER_FLAG_VIDEO = 0x08,       // category 5
    FILTER_FLAG_ARCHIVE = 0x10,     // category 6: archives and fonts
    FILTER_FLAG_DOCUMENT = 0x20,    // category 7
    FILTER_FLAG_OTHER = 0x40,       // category 8: unknown extension or none
    FILTER_FLAGS_ALL = 0x7F,        // no filtering
};

// The file-category filter: which found files the media library keeps.
class RK_INTERFACE IRecoveryFilter {
public:
    virtual ~IRecoveryFilter();
    virtual bool IsEnabled() = 0;
    virtual void SetEnabled(int value) = 0;
    // Null: false. Directories always pass; otherwise the category of the extension must be selected.
    virtual bool Accept(IFileNode* node) = 0;
    virtual void SetCategories(int flags) = 0;
    // The flag of the node's category (64 for a null node or an unknown extension).
    virtual int GetCategoryFlag(IFileNode* node) = 0;
    virtual void Reserved() = 0;
};
