#pragma once
#include <cstdint>

#include "platform/Export.h"

// A found file or folder, whatever found it. The order of the operations is binding: nodes cross
// library boundaries (the result container hands them to the consumer).
class RK_INTERFACE IFileNode {
public:
    virtual ~IFileNode();
    virtual int IsIncluded() = 0;
    virtual void SetIncluded(int flag) = 0;
    virtual uint64_t GetLocation() = 0;
    virtual uint64_t GetLocation2() = 0;
    virtual IFileNode* GetParent() = 0;
    virtual IFileNode* GetFirstChild() = 0;
    virtual IFileNode* GetNextSibling() = 0;
    virtual const char* GetName() = 0;
    virtual uint64_t GetSize() = 0;
    // FAT attribute bits: 0x10 directory, 0x20 archive.
    virtual uint16_t GetAttributes() = 0;
    // FILETIME values (100 ns since 1601), written through out, which is returned.
    virtual uint64_t* GetCreationTime(uint64_t* out) = 0;
    virtual uint64_t* GetModificationTime(uint64_t* out) = 0;
    virtual uint64_t* GetAccessTime(uint64_t* out) = 0;
    virtual bool IsDirectory() = 0;
    virtual bool IsDeleted() = 0;
    // 0 unchecked, 1 partly checked, 2 checked.
    virtual int GetCheckState() = 0;
    virtual void SetCheckState(int state) = 0;
    // True for a null or empty keyword; otherwise the upper-cased name must contain it.
    virtual bool MatchesKeyword(const char* keyword) = 0;
};

// The operations that the file-system readers and carving add behind IFileNode.
class RK_INTERFACE IFilesystemNode : public IFileNode {
public:
    ~IFilesystemNode() override;
    virtual int GetKindCode() = 0;
    virtual int Reserved1() = 0;
    virtual bool AddChild(IFileNode* child) = 0;
    virtual bool SetNextSibling(IFileNode* node) = 0;
    virtual IFileNode* Clone() = 0;
    // Deletes the node (the caller checks for null).
    virtual void Release() = 0;
    virtual void MarkDeleted() = 0;
    virtual int Reserved2(uint32_t value) = 0;
    virtual int Reserved3() = 0;
    // Bits 24-63 of the locator take the low 40 bits of value.
    virtual void SetLocation(uint64_t value) = 0;
    // Replaces the name by TrimLeadingDots of it.
    virtual void TrimName() = 0;
    virtual void Reserved4(uint32_t a, uint32_t b) = 0;
    virtual void Reserved5() = 0;
};
