#include "media_recovery/file_model/CFileNode.h"

#include <cctype>
#include <cstring>
#include <utility>
#include <vector>

#include "media_recovery/file_model/IDataRunList.h"
#include "media_recovery/file_model/IFileProperties.h"
#include "sqlite_recovery/framework/TextUtils.h"


namespace {
constexpr uint64_t kCheckMask = 0xF;
constexpr uint64_t kIncludeMask = 0xF0;
constexpr uint64_t kPartitionMask = 0xFFFF00;
constexpr uint64_t kLocationMask = ~uint64_t{0} << 24;

int SignExtend4(uint64_t bits) { return static_cast<int>((bits & 0xF) ^ 0x8) - 8; }

int StateFor(uint64_t sum, uint64_t count) {
    if (sum == 0) return 0;
    return sum == 2 * count ? 2 : 1;
}
}  // namespace

CFileNode::CFileNode() : locator_(kLocationMask | (uint64_t{0xFFFF} << 8) | (uint64_t{1} << 4)) {}

CFileNode::~CFileNode() {
    if (runs_) runs_->Release();
    runs_ = nullptr;
    if (parent_) parent_->RemoveChild(this);
    // Children outlive their parent as roots of their own, never pointing at freed memory.
    for (CFileNode* child = firstChild_; child;) {
        CFileNode* next = child->nextSibling_;
        child->parent_ = nullptr;
        child->nextSibling_ = nullptr;
        child = next;
    }
    parent_ = firstChild_ = nextSibling_ = nullptr;
}

int CFileNode::IsIncluded() { return SignExtend4(locator_ >> 4); }

int CFileNode::GetCheckState() { return SignExtend4(locator_); }

void CFileNode::SetCheckField(int state) {
    locator_ = (locator_ & ~kCheckMask) | (static_cast<uint64_t>(state) & 0xF);
}

void CFileNode::SetIncludeField(int flag) {
    locator_ = (locator_ & ~kIncludeMask) | ((static_cast<uint64_t>(flag) & 0xF) << 4);
}

void CFileNode::SetIncluded(int flag) {
    // The parent counts included children, so only a change between excluded and included counts.
    int wasIncluded = IsIncluded() != 0;
    int nowIncluded = SignExtend4(static_cast<uint64_t>(flag)) != 0;
    if (parent_) parent_->AdjustIncludedCount(nowIncluded - wasIncluded);
    SetIncludeField(flag);
}

void CFileNode::AdjustIncludedCount(int delta) {
    for (CFileNode* node = this; node && delta != 0; node = node->parent_) {
        int64_t count = static_cast<int64_t>(node->includedChildren_) + delta;
        node->includedChildren_ = count > 0 ? static_cast<uint32_t>(count) : 0;
        int newFlag = node->includedChildren_ != 0 ? 1 : 0;
        int oldFlag = node->IsIncluded() != 0 ? 1 : 0;
        node->SetIncludeField(newFlag);
        delta = newFlag - oldFlag;
    }
}

void CFileNode::AdjustCheckedSum(int delta) {
    for (CFileNode* node = this; node && delta != 0; node = node->parent_) {
        int64_t sum = static_cast<int64_t>(node->checkedSum_) + delta;
        node->checkedSum_ = sum > 0 ? static_cast<uint32_t>(sum) : 0;
        int newState = StateFor(node->checkedSum_, node->includedChildren_);
        int oldState = node->GetCheckState();
        node->SetCheckField(newState);
        delta = newState - oldState;
    }
}

void CFileNode::SetCheckState(int state) {
    if (IsIncluded() == 0 || state < 0 || state > 2) return;
    int current = GetCheckState();
    if (parent_ && state != current) parent_->AdjustCheckedSum(state - current);
    if (firstChild_) PropagateCheckDown(firstChild_, state);
    SetCheckField(state);
    checkedSum_ = includedChildren_ * static_cast<uint32_t>(state);
}

// Down the first-child chain of node, and of every included sibling along it. A partial state
// reaches the first child only.
void CFileNode::PropagateCheckDown(CFileNode* first, int state) {
    std::vector<std::pair<CFileNode*, bool>> pending{{first, true}};
    while (!pending.empty()) {
        CFileNode* node = pending.back().first;
        bool withSiblings = pending.back().second;
        pending.pop_back();
        while (node) {
            if (node->IsIncluded()) node->SetCheckField(state);
            if (state == 1) return;
            node->checkedSum_ = node->includedChildren_ * static_cast<uint32_t>(state);
            if (withSiblings) {
                for (CFileNode* sibling = node->nextSibling_; sibling; sibling = sibling->nextSibling_)
                    if (sibling->IsIncluded()) pending.emplace_back(sibling, false);
            }
            node = node->firstChild_;
            withSiblings = true;
        }
    }
}

bool CFileNode::MatchesKeyword(const char* keyword) {
    if (!keyword || !*keyword) return true;
    return NameContainsKeyword(GetName(), keyword);
}

bool CFileNode::IsAncestorOrSelf(const CFileNode* node) const {
    for (const CFileNode* n = this; n; n = n->parent_)
        if (n == node) return true;
    return false;
}

bool CFileNode::AddChild(IFileNode* child) { return LinkChild(dynamic_cast<CFileNode*>(child)); }

bool CFileNode::LinkChild(CFileNode* node) {
    if (!node || IsAncestorOrSelf(node)) return false;
    if (node->parent_) node->parent_->RemoveChild(node);
    ++includedChildren_;
    node->parent_ = this;
    node->nextSibling_ = firstChild_;
    firstChild_ = node;
    return true;
}

bool CFileNode::RemoveChild(CFileNode* child) {
    if (!child || child->parent_ != this) return false;
    if (firstChild_ == child) {
        firstChild_ = child->nextSibling_;
    } else {
        CFileNode* before = firstChild_;
        while (before && before->nextSibling_ != child) before = before->nextSibling_;
        if (!before) return false;
        before->nextSibling_ = child->nextSibling_;
    }
    child->parent_ = nullptr;
    child->nextSibling_ = nullptr;
    if (includedChildren_ > 0) --includedChildren_;
    return true;
}

bool CFileNode::SetNextSibling(IFileNode* other) {
    CFileNode* node = dynamic_cast<CFileNode*>(other);
    if (!node || node == this) return false;
    // this -> node -> ... must never lead back to this, and a node already behind this stays where it is.
    for (CFileNode* n = node; n; n = n->nextSibling_)
        if (n == this) return false;
    for (CFileNode* n = nextSibling_; n; n = n->nextSibling_)
        if (n == node) return false;
    if (nextSibling_) {
        CFileNode* old = nextSibling_;
        nextSibling_ = nullptr;  // while node takes over the old tail, this is no part of it
        node->SetNextSibling(old);
    }
    nextSibling_ = node;
    return true;
}

void CFileNode::SetLocation(uint64_t value) { locator_ = (locator_ & ~kLocationMask) | (value << 24); }

void CFileNode::SetPartitionIndex(uint16_t index) {
    locator_ = (locator_ & ~kPartitionMask) | (static_cast<uint64_t>(index) << 8);
}

void CFileNode::SetDataRuns(IDataRunList* runs) {
    if (runs_ && runs_ != runs) runs_->Release();
    runs_ = runs;
}

void SetNodePartitionIndex(CFileNode* node, uint16_t index) {
    if (node) node->SetPartitionIndex(index);
}

std::string TrimLeadingDots(const std::string& name) {
    size_t start = name.find_first_not_of(". ");
    return start == std::string::npos ? std::string() : name.substr(start);
}

bool NameContainsKeyword(const char* name, const char* keyword) {
    if (!name) return false;
    if (!keyword) return true;
    return ToUpperString(name).find(keyword) != std::string::npos;
}
