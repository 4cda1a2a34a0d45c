#pragma once
#include <cstdint>
#include <string>

#include "media_recovery/file_model/IFileNode.h"

class IDataRunList;

// Everything of a node that does not depend on the file system: the tree links, the check and
// include arithmetic, the packed locator and the extents. Concrete nodes add name, size, times.
//
// Locator word: bits 0-3 check state and 4-7 include flag (signed 4-bit fields), 8-23 partition
// index, 24-63 location (signed 40-bit).
class RK_INTERFACE CFileNode : public IFilesystemNode {
public:
    CFileNode();
    // Releases the extents, unlinks the node from its parent and turns its children into roots.
    ~CFileNode() override;
    CFileNode(const CFileNode&) = delete;
    CFileNode& operator=(const CFileNode&) = delete;

    int IsIncluded() override;
    void SetIncluded(int flag) override;
    uint64_t GetLocation() override { return location_; }
    uint64_t GetLocation2() override { return location2_; }
    IFileNode* GetParent() override { return parent_; }
    IFileNode* GetFirstChild() override { return firstChild_; }
    IFileNode* GetNextSibling() override { return nextSibling_; }
    int GetCheckState() override;
    void SetCheckState(int state) override;
    bool MatchesKeyword(const char* keyword) override;

    int GetKindCode() override { return 36; }
    int Reserved1() override { return 0; }
    // Refuses what is not a CFileNode, this node itself and its ancestors; a child that has a
    // parent is first unlinked from it. Children are kept newest first.
    bool AddChild(IFileNode* child) override;
    // AddChild for a child whose type is known: a reader linking its own nodes skips the type check.
    bool LinkChild(CFileNode* child);
    // Inserts node after this one; refuses what would close a loop of siblings.
    bool SetNextSibling(IFileNode* node) override;
    void Release() override { delete this; }
    int Reserved2(uint32_t) override { return 0; }
    int Reserved3() override { return 0; }
    void SetLocation(uint64_t value) override;
    void Reserved4(uint32_t, uint32_t) override {}
    void Reserved5() override {}

    // Unlinks one of this node's children; false when it is none of them.
    bool RemoveChild(CFileNode* child);
    // True when the size the file system recorded was more than the node's extents hold and was
    // cut to them (FILE_FLAG_SIZE_CUT): what can be read of the file is less than it was.
    virtual bool IsSizeCut() { return false; }
    // Why what the node's extents hold is only the first part of the file (a carved file whose own
    // structure breaks off there); empty when they hold it whole.
    virtual std::string CarvedInPart() { return std::string(); }

    // The extents, owned; the per-item reader reads them from here. Replacing releases the old list.
    IDataRunList* GetDataRuns() const { return runs_; }
    void SetDataRuns(IDataRunList* runs);
    uint64_t GetLocator() const { return locator_; }
    uint16_t GetPartitionIndex() const { return static_cast<uint16_t>(locator_ >> 8); }
    void SetPartitionIndex(uint16_t index);
    // Bits 24-63 of the locator as a signed value.
    int64_t GetLocatorLocation() const { return static_cast<int64_t>(locator_) >> 24; }
    void SetFirstLocation(uint64_t value) { location_ = value; }
    void SetSecondLocation(uint64_t value) { location2_ = value; }
    uint32_t GetIncludedChildren() const { return includedChildren_; }
    uint32_t GetCheckedSum() const { return checkedSum_; }

private:
    void AdjustIncludedCount(int delta);
    void AdjustCheckedSum(int delta);
    static void PropagateCheckDown(CFileNode* node, int state);
    void SetCheckField(int state);
    void SetIncludeField(int flag);
    bool IsAncestorOrSelf(const CFileNode* node) const;

    IDataRunList* runs_ = nullptr;
    uint64_t location_ = ~uint64_t{0};
    uint64_t location2_ = ~uint64_t{0};
    uint64_t locator_;
    CFileNode* parent_ = nullptr;
    CFileNode* firstChild_ = nullptr;
    CFileNode* nextSibling_ = nullptr;
    uint32_t includedChildren_ = 0;
    uint32_t checkedSum_ = 0;
};

// Stores index in bits 8-23 of the node's locator.
void SetNodePartitionIndex(CFileNode* node, uint16_t index);
// The name without its leading run of '.' and ' '.
std::string TrimLeadingDots(const std::string& name);
// Upper-cases name with toupper and looks for keyword unchanged; false for a null name.
bool NameContainsKeyword(const char* name, const char* keyword);
