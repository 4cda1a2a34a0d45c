#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

#include "media_recovery/file_model/CDataRunList.h"
#include "testing/TestNodes.h"

namespace {

std::vector<std::string> ChildNames(IFileNode* parent) {
    std::vector<std::string> names;
    for (IFileNode* c = parent->GetFirstChild(); c; c = c->GetNextSibling()) names.push_back(c->GetName());
    return names;
}

TEST(FileNode, NewNodeDefaults) {
    CTestNode node("a.jpg");
    EXPECT_EQ(node.IsIncluded(), 1);
    EXPECT_EQ(node.GetCheckState(), 0);
    EXPECT_EQ(node.GetPartitionIndex(), 0xFFFF);
    EXPECT_EQ(node.GetLocatorLocation(), -1);
    EXPECT_EQ(node.GetLocation(), ~uint64_t{0});
    EXPECT_EQ(node.GetLocation2(), ~uint64_t{0});
    EXPECT_EQ(node.GetParent(), nullptr);
    EXPECT_EQ(node.GetFirstChild(), nullptr);
    EXPECT_EQ(node.GetKindCode(), 36);
    EXPECT_EQ(node.GetDataRuns(), nullptr);
}

TEST(FileNode, LocatorFieldsStayApart) {
    CTestNode node("a");
    node.SetLocation(0x12345678ABull);
    SetNodePartitionIndex(&node, 7);
    EXPECT_EQ(node.GetPartitionIndex(), 7);
    EXPECT_EQ(node.GetLocatorLocation(), 0x12345678AB);
    EXPECT_EQ(node.IsIncluded(), 1);
    node.SetLocation(0xFFFFFFFFFFFFull);  // only the low 40 bits are kept, read back signed
    EXPECT_EQ(node.GetLocatorLocation(), -1);
    EXPECT_EQ(node.GetPartitionIndex(), 7);
}

TEST(FileNode, ChildrenNewestFirstAndRemoval) {
    CTestNode parent("dir", 0, true);
    CTestNode* a = new CTestNode("A");
    CTestNode* b = new CTestNode("B");
    CTestNode* c = new CTestNode("C");
    ASSERT_TRUE(parent.AddChild(a));
    ASSERT_TRUE(parent.AddChild(b));
    ASSERT_TRUE(parent.AddChild(c));
    EXPECT_EQ(ChildNames(&parent), (std::vector<std::string>{"C", "B", "A"}));
    EXPECT_EQ(parent.GetIncludedChildren(), 3u);
    ASSERT_TRUE(parent.RemoveChild(b));
    EXPECT_EQ(ChildNames(&parent), (std::vector<std::string>{"C", "A"}));
    EXPECT_EQ(b->GetParent(), nullptr);
    EXPECT_EQ(b->GetNextSibling(), nullptr);
    EXPECT_FALSE(parent.RemoveChild(b));
    CTestNode stranger("S");
    EXPECT_FALSE(parent.RemoveChild(&stranger));
    EXPECT_FALSE(parent.RemoveChild(nullptr));
    delete b;
    // A destroyed child leaves its parent's list; a destroyed parent leaves its children as roots.
    delete c;
    EXPECT_EQ(ChildNames(&parent), (std::vector<std::string>{"A"}));
    CTestNode* dir = new CTestNode("sub", 0, true);
    CTestNode leaf("leaf");
    dir->AddChild(&leaf);
    delete dir;
    EXPECT_EQ(leaf.GetParent(), nullptr);
    delete a;
    EXPECT_EQ(parent.GetFirstChild(), nullptr);
    EXPECT_EQ(parent.GetIncludedChildren(), 0u);
}

TEST(FileNode, AddChildRefusesLoopsAndForeignNodesAndMovesBetweenParents) {
    CTestNode root("root", 0, true), mid("mid", 0, true), leaf("leaf");
    ASSERT_TRUE(root.AddChild(&mid));
    ASSERT_TRUE(mid.AddChild(&leaf));
    EXPECT_FALSE(leaf.AddChild(&leaf));
    EXPECT_FALSE(leaf.AddChild(&mid));
    EXPECT_FALSE(leaf.AddChild(&root));
    EXPECT_FALSE(mid.AddChild(nullptr));
    EXPECT_EQ(ChildNames(&mid), (std::vector<std::string>{"leaf"}));

    class Foreign : public IFileNode {
    public:
        int IsIncluded() override { return 1; }
        void SetIncluded(int) override {}
        uint64_t GetLocation() override { return 0; }
        uint64_t GetLocation2() override { return 0; }
        IFileNode* GetParent() override { return nullptr; }
        IFileNode* GetFirstChild() override { return nullptr; }
        IFileNode* GetNextSibling() override { return nullptr; }
        const char* GetName() override { return "x"; }
        uint64_t GetSize() override { return 0; }
        uint16_t GetAttributes() override { return 0; }
        uint64_t* GetCreationTime(uint64_t* o) override { return o; }
        uint64_t* GetModificationTime(uint64_t* o) override { return o; }
        uint64_t* GetAccessTime(uint64_t* o) override { return o; }
        bool IsDirectory() override { return false; }
        bool IsDeleted() override { return false; }
        int GetCheckState() override { return 0; }
        void SetCheckState(int) override {}
        bool MatchesKeyword(const char*) override { return true; }
    } foreign;
    EXPECT_FALSE(root.AddChild(&foreign));
    EXPECT_FALSE(root.SetNextSibling(&foreign));

    // Moving a child unlinks it from its old parent first.
    ASSERT_TRUE(root.AddChild(&leaf));
    EXPECT_EQ(leaf.GetParent(), &root);
    EXPECT_TRUE(ChildNames(&mid).empty());
    EXPECT_EQ(mid.GetIncludedChildren(), 0u);
    EXPECT_EQ(ChildNames(&root), (std::vector<std::string>{"leaf", "mid"}));
}

TEST(FileNode, CheckStatesPropagateUpAndDown) {
    CTestNode grand("g", 0, true), parent("p", 0, true), other("o");
    CTestNode a("a"), b("b"), c("c");
    grand.AddChild(&other);
    grand.AddChild(&parent);
    parent.AddChild(&a);
    parent.AddChild(&b);
    parent.AddChild(&c);
    a.SetCheckState(2);
    b.SetCheckState(2);
    EXPECT_EQ(parent.GetCheckedSum(), 4u);
    EXPECT_EQ(parent.GetCheckState(), 1);
    EXPECT_EQ(grand.GetCheckedSum(), 1u);
    EXPECT_EQ(grand.GetCheckState(), 1);
    c.SetCheckState(2);
    EXPECT_EQ(parent.GetCheckedSum(), 6u);
    EXPECT_EQ(parent.GetCheckState(), 2);
    EXPECT_EQ(grand.GetCheckedSum(), 2u);  // +1 more: the parent went from partly to fully checked
    EXPECT_EQ(grand.GetCheckState(), 1);
    other.SetCheckState(2);
    EXPECT_EQ(grand.GetCheckedSum(), 4u);
    EXPECT_EQ(grand.GetCheckState(), 2);

    // Down: every included descendant, and each visited folder's sum is twice its count.
    grand.SetCheckState(0);
    for (CTestNode* n : {&parent, &other, &a, &b, &c}) EXPECT_EQ(n->GetCheckState(), 0) << n->GetName();
    EXPECT_EQ(parent.GetCheckedSum(), 0u);
    b.SetIncluded(0);
    grand.SetCheckState(2);
    EXPECT_EQ(a.GetCheckState(), 2);
    EXPECT_EQ(c.GetCheckState(), 2);
    EXPECT_EQ(b.GetCheckState(), 0);  // excluded: keeps its state
    EXPECT_EQ(parent.GetCheckedSum(), 4u);
    EXPECT_EQ(parent.GetCheckState(), 2);

    // Refused states and excluded nodes.
    a.SetCheckState(3);
    EXPECT_EQ(a.GetCheckState(), 2);
    b.SetCheckState(2);
    EXPECT_EQ(b.GetCheckState(), 0);
}

TEST(FileNode, IncludeCountsPropagateUp) {
    CTestNode grand("g", 0, true), parent("p", 0, true), only("only"), sibling("s");
    grand.AddChild(&sibling);
    grand.AddChild(&parent);
    parent.AddChild(&only);
    only.SetIncluded(0);
    EXPECT_EQ(parent.GetIncludedChildren(), 0u);
    EXPECT_EQ(parent.IsIncluded(), 0);
    EXPECT_EQ(grand.GetIncludedChildren(), 1u);  // passed upward as -1
    EXPECT_EQ(grand.IsIncluded(), 1);
    only.SetIncluded(0);  // no change: nothing counted twice
    EXPECT_EQ(grand.GetIncludedChildren(), 1u);
    only.SetIncluded(1);
    only.SetIncluded(2);  // still included: counted once
    EXPECT_EQ(parent.GetIncludedChildren(), 1u);
    EXPECT_EQ(grand.GetIncludedChildren(), 2u);
}

TEST(FileNode, SetNextSiblingInsertsAndNeverMakesALoop) {
    CTestNode a("a"), b("b"), c("c");
    ASSERT_TRUE(a.SetNextSibling(&c));
    ASSERT_TRUE(a.SetNextSibling(&b));
    EXPECT_EQ(a.GetNextSibling(), &b);
    EXPECT_EQ(b.GetNextSibling(), &c);
    EXPECT_FALSE(c.SetNextSibling(&a));  // c -> a -> b -> c
    EXPECT_FALSE(a.SetNextSibling(&a));
    EXPECT_FALSE(a.SetNextSibling(&c));  // already behind a
    EXPECT_EQ(c.GetNextSibling(), nullptr);

    // Whatever is asked, no chain ever loops.
    std::mt19937 rng(7);
    std::vector<CTestNode*> nodes;
    for (int i = 0; i < 12; ++i) nodes.push_back(new CTestNode("n" + std::to_string(i)));
    for (int step = 0; step < 2000; ++step) {
        nodes[rng() % nodes.size()]->SetNextSibling(nodes[rng() % nodes.size()]);
        for (CTestNode* start : nodes) {
            std::set<IFileNode*> seen;
            for (IFileNode* n = start; n; n = n->GetNextSibling()) ASSERT_TRUE(seen.insert(n).second);
        }
    }
    for (CTestNode* n : nodes) n->SetNextSibling(nullptr);  // refused: not a node
    for (CTestNode* n : nodes) delete n;
}

TEST(FileNode, KeywordAndTrim) {
    CTestNode photo("photo.jpg");
    EXPECT_TRUE(photo.MatchesKeyword(nullptr));
    EXPECT_TRUE(photo.MatchesKeyword(""));
    EXPECT_TRUE(photo.MatchesKeyword("PHOTO"));
    EXPECT_FALSE(photo.MatchesKeyword("photo"));
    EXPECT_FALSE(NameContainsKeyword(nullptr, "A"));
    EXPECT_EQ(TrimLeadingDots(".. a.b"), "a.b");
    EXPECT_EQ(TrimLeadingDots("..  a.b"), "a.b");
    EXPECT_EQ(TrimLeadingDots("..."), "");
    EXPECT_EQ(TrimLeadingDots(""), "");
    CTestNode hidden("..  .x");
    hidden.TrimName();
    EXPECT_STREQ(hidden.GetName(), "x");
}

TEST(FileNode, OwnsAndReplacesItsRuns) {
    CTestNode node("a");
    CDataRunList* first = CreateDataRunList();
    DataRun run(5, 3);
    first->AppendRun(&run);
    node.SetDataRuns(first);
    node.SetDataRuns(first);  // the same list again is kept, not released
    EXPECT_EQ(node.GetDataRuns(), first);
    node.SetDataRuns(CreateDataRunList());  // the old list is released (the sanitizer build checks)
    EXPECT_NE(node.GetDataRuns(), nullptr);
}

}  // namespace
