#pragma once
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtk/gtk.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "gui/shell/CMsgReceiver.h"
#include "outside/widgets/CBPBox.h"
#include "outside/widgets/CBPImgGridList.h"
#include "sqlite_recovery/framework/ItemRecords.h"

class CBPEventBox;
class CBPImage;
class CBPImgGridList;
class CBPLabel;
class CBPListTreeview;
class CMsgBubble;
class CScanSelectedBottom;
class IConactItem;
class IContactData;
class IFileNode;
class ISMSData;
class ISMSSession;

// The large pane of the scan page: one list or picture grid per category (1 contacts, 2
// messages, 3 gallery, 4 videos, 5 audio, 6 documents; 0, the device, shows contacts), the contact
// card beside the contacts and the conversation beside the messages. While the scan runs it
// drains the containers' fresh records from idle calls, keeps the per-category counts and posts
// them to the tree; afterwards it rebuilds the current category on request (only deleted, search).
// Ticks go into the records' selection field; the ticked count of the current category goes to
// the bottom bar. Main thread only; every access to a container's records holds its lock.
class CScanSelectedDetail : public CBPBox, public CMsgReceiver {
public:
    struct Counts {
        uint32_t total = 0;
        uint32_t deleted = 0;
    };

    CScanSelectedDetail();
    ~CScanSelectedDetail() override;

    using CBPBox::Show;
    // New contacts (15), conversations (16) and files (17) are drained from an idle call; the
    // only-deleted switch (23 on, 24 off) rebuilds the current category; the databases that could
    // not be read, or only in part, and the storage read only in part (25) are said so above their
    // categories' panes.
    void OnMessage(int group, int code) override;

    // Called by the tree: shows the category's pane and rebuilds it when it was marked.
    void SetCategory(int category);
    // Fills the current category: only what is fresh, or everything when it needs a refresh.
    void Show(int freshOnly, int onlyDeleted);
    void ShowContacts(int freshOnly, int onlyDeleted);
    void ShowMessages(int freshOnly, int onlyDeleted);
    void ShowFiles(int freshOnly, int onlyDeleted);
    // 3 gallery, 4 videos, 5 audio, 6 documents (also for a null node or without the filter).
    static int CategoryOfFileNode(IFileNode* node);

    void SetBottomBar(CScanSelectedBottom* bar) { bottomBar_ = bar; }
    // Tells the bottom bar how many items of the current category are ticked.
    void UpdateSelectedCount();
    // The list or grid of the current category; null when it has none.
    CBPListTreeview* CurrentList() const;
    CBPImgGridList* CurrentGrid() const;
    // Marks the category (-1: all of them) as to be rebuilt from every record at its next show.
    void SetRefreshNeeded(int value, int category);
    // Shows the record of the current list's first row beside the list; false without rows.
    bool SelectFirstRow();
    // The contact card (categories 0 and 1) or the conversation (2) of the record with that id.
    void ShowRecord(unsigned id);
    // The same for the row the user clicked or moved to (arrow keys): nothing when it shows already.
    void FollowRow(unsigned id);

    // A contact's name as the contacts card writes it: its name, else its first number or address
    // in its own order, else "Contact NNNN" of its record id (translated).
    static std::string ShownName(IContactData* contact, unsigned id);

    // The grids' callbacks (data: the pane).
    static void OnGridSelectionChanged(unsigned id, int selected, int unused, gpointer data);
    static GdkPixbuf* LoadThumbnail(unsigned id, gpointer data);

    int GetCategory() const { return category_; }
    // The only-deleted value the current category was last shown with.
    int GetOnlyDeleted() const;
    Counts GetCounts(int category) const;
    int GetGridTicks(int category) const;
    int IsRefreshNeeded(int category) const;
    // The list of category 1, 2, 5 or 6, the grid of 3 or 4, the pane of 1 to 6; null otherwise.
    CBPListTreeview* GetList(int category) const;
    CBPImgGridList* GetGrid(int category) const;
    CBPBox* GetPane(int category) const;
    // The notice above the panes that what the current category comes from could not be read whole.
    CBPBox* GetNotice() const { return notice_; }
    CBPLabel* GetNoticeText() const { return noticeText_; }
    CBPBox* GetCardPane() const { return cardPane_; }
    CBPBox* GetConversationPane() const { return conversationPane_; }
    CBPLabel* GetCardName() const { return cardName_; }
    GdkPixbuf* GetAvatar() const { return avatar_; }
    // The field box of the card and the box of the conversation shown last; null before.
    GtkWidget* GetCardFields() const { return cardFields_; }
    GtkWidget* GetConversationBox() const { return conversationBox_; }
    // The bubbles of the conversation shown.
    const std::vector<std::unique_ptr<CMsgBubble>>& GetBubbles() const { return bubbles_; }
    // Idle drains scheduled and not run yet.
    size_t PendingDrains() const;

private:
    enum DrainKind { DRAIN_CONTACTS, DRAIN_MESSAGES, DRAIN_FILES, DRAIN_KINDS };
    struct PendingDrain {
        CScanSelectedDetail* pane;
        DrainKind kind;
    };
    // Where a row of the contacts or the messages list stands: deleted rows first, then the
    // newest conversation, then by the texts (the first by collation), so that the order is the
    // same in every run whatever the order the records come in.
    struct RowOrder {
        bool deleted = false;
        int64_t newest = 0;
        std::string first, second, third;
        bool operator<(const RowOrder& other) const;
    };
    // What a file drain gathers before it hands it to the grids and posts the counts.
    struct FileWalk {
        std::vector<CMediaInfo> deletedItems[2], liveItems[2];  // gallery, videos
        Counts counts[7];
        bool counted[7] = {};
    };

    void BuildPanes();
    void BuildNotice();
    // Shows the notice when what the current category comes from could not be read whole, hides it
    // otherwise.
    void ShowNotice();
    // The key of the notice's text for the current category; null when there is none.
    const char* NoticeKey() const;
    CBPListTreeview* NewList(CBPBox* pane, const char* title2, const char* title3, const char* title4);
    void BuildCardPane();
    void BuildConversationPane();
    void ScheduleDrain(DrainKind kind);
    static gboolean OnDrainIdle(gpointer data);

    // Row builders: 1 when a row was added.
    int AddContactRow(_CONTACT_INFOMATION* record, int onlyDeleted);
    int AddConversationRow(_SMS_INFOMATION* record, int onlyDeleted);
    int AddFileRow(int category, _ARCHIVE_INFOMATION* record, int onlyDeleted);
    void AddRow(CBPListTreeview* list, unsigned selection, bool deleted, const std::string& text2,
                const std::string& text3, const std::string& text4, unsigned id);
    // The row orders of the contacts and the messages lists, by record id; the lists sort by them.
    std::map<unsigned, RowOrder>* OrderOf(CBPListTreeview* list);
    static gint CompareRows(GtkTreeModel* model, GtkTreeIter* a, GtkTreeIter* b, gpointer orders);
    static std::string LastMessageText(ISMSSession* session);
    // A gallery or video record into the walk's batches; false when it was skipped.
    bool AddGridItem(int category, _ARCHIVE_INFOMATION* record, int freshOnly, int onlyDeleted, FileWalk* walk);
    void PostCounts(unsigned id, int category, const Counts& counts);
    void ClearConversation();

    // Row actions.
    static gboolean OnListClicked(GtkWidget* view, GdkEventButton* event, gpointer self);
    static void OnSelectionChanged(GtkTreeSelection* selection, gpointer self);
    static void OnRowToggled(GtkTreeIter* iter, int value, gpointer self);
    static void OnCheckAll(int value, gpointer self);
    void CheckAll(int value);
    // The record ids of the current list's rows.
    std::vector<unsigned> ShownIds() const;

    // The contact card and the conversation.
    void ShowContactCard(unsigned id, unsigned selection, IContactData* contact);
    void SetCardName(const std::string& name);
    void SetCardAvatar(IConactItem* item);
    void FillCardFields(IContactData* contact);
    void ShowConversation(unsigned id, unsigned selection, ISMSSession* session);
    void AddMessageDate(CBPBox* row, ISMSData* message);
    void AddMessageBubble(CBPBox* row, ISMSData* message);
    static gboolean DrawAvatar(GtkWidget* widget, GdkEventExpose* event, gpointer self);
    static gboolean DrawPaneSeparator(GtkWidget* widget, GdkEventExpose* event, gpointer self);

    int category_ = 1;
    // By category: the toolbar keeps its switch per category, and so does the pane.
    std::map<int, int> onlyDeleted_;
    CBPBox* panes_[7] = {};  // by category, 1 to 6
    CBPBox* notice_ = nullptr;
    CBPImage* noticeIcon_ = nullptr;
    CBPLabel* noticeText_ = nullptr;
    uint32_t unread_ = 0;  // the bits of MSG_SCAN_UNREAD so far
    CBPListTreeview* contactsList_ = nullptr;
    CBPListTreeview* messagesList_ = nullptr;
    CBPListTreeview* audioList_ = nullptr;
    CBPListTreeview* documentsList_ = nullptr;
    CBPImgGridList* galleryGrid_ = nullptr;
    CBPImgGridList* videoGrid_ = nullptr;
    CBPBox* cardPane_ = nullptr;
    CBPBox* conversationPane_ = nullptr;
    CBPEventBox* avatarBox_ = nullptr;
    CBPLabel* cardName_ = nullptr;
    GtkWidget* cardHeader_ = nullptr;
    GtkWidget* cardScroll_ = nullptr;
    GtkWidget* cardFields_ = nullptr;
    GtkWidget* conversationScroll_ = nullptr;
    GtkWidget* conversationBox_ = nullptr;
    GdkPixbuf* avatar_ = nullptr;
    GdkPixbuf* trash_ = nullptr;
    // The bubbles of the conversation shown.
    std::vector<std::unique_ptr<CMsgBubble>> bubbles_;
    // The record ids of the contact card and of the conversation shown last; -1 before.
    int64_t shownRecord_[2] = {-1, -1};
    std::map<int, int> refreshNeeded_;
    std::map<int, Counts> counts_;
    std::map<int, int> gridTicks_;
    std::map<unsigned, RowOrder> contactOrder_, conversationOrder_;
    CScanSelectedBottom* bottomBar_ = nullptr;
    // The idle drains scheduled, at most one per kind: removed when the pane goes first.
    guint drainSources_[DRAIN_KINDS] = {};
    PendingDrain drainData_[DRAIN_KINDS] = {};
};
