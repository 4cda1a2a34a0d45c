#include "gui/pages/ScanSelectedDetail.h"

#include "contacts/IContactData.h"
#include "gui/pages/ScanDetailWalk.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/MsgBubble.h"
#include "logic_contract/RelikordaMsg.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPImage.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPListTreeview.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

// The messages the pane takes: category 2, group 4.
constexpr unsigned kScanMessages = 0x02040000;
enum : int {
    CODE_NEW_CONTACTS = 15,
    CODE_NEW_MESSAGES = 16,
    CODE_NEW_FILES = 17,
    CODE_ONLY_DELETED_ON = 23,
    CODE_ONLY_DELETED_OFF = 24,
    CODE_UNREAD = 25
};
// The counts the pane posts to the tree (category 4, group 4), by category.
constexpr unsigned kCountIds[7] = {0, 0x0404000F, 0x04040010, 0x04040012, 0x04040013, 0x04040014, 0x04040015};
// The gallery grid holds at most this many thumbnails; the video grid shows its icon only.
constexpr int kGalleryThumbnails = 1000;
constexpr int kIdColumn = 5, kTooltipColumn = 6;

ILogicalController* Controller() { return CUIPublic::Instance()->GetLogicalController(); }

}  // namespace

CScanSelectedDetail::CScanSelectedDetail() : CBPBox(true, false, 0), CMsgReceiver(kScanMessages) {
    trash_ = gdk_pixbuf_new_from_file((CUIPublic::Instance()->ResFolder() + "trash.png").c_str(), nullptr);
    for (int category = 0; category <= 6; ++category) {
        refreshNeeded_[category] = 0;
        counts_[category] = Counts();
        onlyDeleted_[category] = 0;
    }
    gridTicks_[3] = gridTicks_[4] = 0;
    BuildPanes();
    gtk_container_set_border_width(GTK_CONTAINER(GetWidget()), 1);
}

CScanSelectedDetail::~CScanSelectedDetail() {
    // A drain still waiting would run on a pane that is gone.
    for (guint& source : drainSources_) {
        if (source) g_source_remove(source);
        source = 0;
    }
    for (CBPBox* pane : {cardPane_, conversationPane_})
        if (pane) g_signal_handlers_disconnect_by_data(pane->GetWidget(), this);
    if (avatarBox_) g_signal_handlers_disconnect_by_data(avatarBox_->GetWidget(), this);
    for (CBPListTreeview* list : {contactsList_, messagesList_, audioList_, documentsList_}) {
        if (!list) continue;
        g_signal_handlers_disconnect_by_data(list->GetTreeView(), this);
        g_signal_handlers_disconnect_by_data(gtk_tree_view_get_selection(GTK_TREE_VIEW(list->GetTreeView())), this);
    }
    ClearConversation();
    delete contactsList_;
    delete messagesList_;
    delete audioList_;
    delete documentsList_;
    delete galleryGrid_;
    delete videoGrid_;
    delete avatarBox_;
    delete cardName_;
    delete cardPane_;
    delete conversationPane_;
    delete noticeIcon_;
    delete noticeText_;
    delete notice_;
    for (CBPBox*& pane : panes_) {
        delete pane;
        pane = nullptr;
    }
    if (avatar_) g_object_unref(avatar_);
    if (trash_) g_object_unref(trash_);
}

void CScanSelectedDetail::BuildPanes() {
    BuildNotice();
    for (int category = 1; category <= 6; ++category) {
        panes_[category] = new CBPBox(false, false, 0);
        PackStart(panes_[category], true, true, 0);
    }
    contactsList_ = NewList(panes_[1], "LIST_COL_NAME", "LIST_COL_PHONE", "LIST_COL_EMAIL");
    messagesList_ = NewList(panes_[2], "LIST_COL_CONTACTS", "LIST_COL_PHONE", "LIST_COL_MESSAGE");
    for (CBPListTreeview* list : {contactsList_, messagesList_}) {
        GtkTreeSortable* sortable = GTK_TREE_SORTABLE(list->GetStore());
        gtk_tree_sortable_set_sort_func(sortable, kIdColumn, &CScanSelectedDetail::CompareRows, OrderOf(list), nullptr);
        gtk_tree_sortable_set_sort_column_id(sortable, kIdColumn, GTK_SORT_ASCENDING);
    }
    audioList_ = NewList(panes_[5], "LIST_COL_NAME", "LIST_COL_SIZE", "LIST_COL_FORMAT");
    documentsList_ = NewList(panes_[6], "LIST_COL_NAME", "LIST_COL_SIZE", "LIST_COL_FORMAT");
    GdkPixbuf* checks[3] = {nullptr, nullptr, nullptr};
    CUIPublic::Instance()->FillCheckImages(checks, 2);
    galleryGrid_ = new CBPImgGridList(kGalleryThumbnails);
    videoGrid_ = new CBPImgGridList(-1);
    for (CBPImgGridList* grid : {galleryGrid_, videoGrid_}) {
        grid->SetCheckImages(checks[0], checks[1]);
        grid->SetChildSelectionCallBack(&CScanSelectedDetail::OnGridSelectionChanged, this);
    }
    panes_[3]->PackStart(galleryGrid_, true, true, 0);
    panes_[4]->PackStart(videoGrid_, true, true, 0);
    BuildCardPane();
    BuildConversationPane();
    // Which pane shows is this pane's choice alone, whatever shows the page.
    for (int category = 1; category <= 6; ++category) {
        panes_[category]->ShowAll();
        panes_[category]->NoShowAll(1);
        if (category != 1) panes_[category]->Hide();
    }
    cardPane_->Hide();
    conversationPane_->Hide();
}

// The warning the toolbar shows when the phone goes off line, in the same colours, over the panes.
void CScanSelectedDetail::BuildNotice() {
    notice_ = new CBPBox(false, false, 6);
    noticeIcon_ = new CBPImage((CUIPublic::Instance()->ResFolder() + "icon_warning.png").c_str());
    notice_->PackStart(noticeIcon_, false, false, 0);
    noticeText_ = new CBPLabel("");
    gtk_misc_set_alignment(GTK_MISC(noticeText_->GetWidget()), 0.0f, 0.5f);
    notice_->PackStart(noticeText_, true, true, 0);
    gtk_container_set_border_width(GTK_CONTAINER(notice_->GetWidget()), 6);
    notice_->ShowAll();
    notice_->NoShowAll(1);
    notice_->Hide();
    PackStart(notice_, false, false, 0);
}

const char* CScanSelectedDetail::NoticeKey() const {
    const int shown = category_ == 0 ? 1 : category_;
    if (shown >= 3 && shown <= 6) return unread_ & kStorageReadInPart ? "SCAN_STORAGE_READ_IN_PART" : nullptr;
    if (shown != 1 && shown != 2) return nullptr;
    // A database that could not be read at all says so over one read in part.
    if ((unread_ >> shown) & 1u) return shown == 1 ? "SCAN_CONTACTS_UNREAD" : "SCAN_MESSAGES_UNREAD";
    if ((unread_ >> (kReadInPartShift + shown)) & 1u)
        return shown == 1 ? "SCAN_CONTACTS_READ_IN_PART" : "SCAN_MESSAGES_READ_IN_PART";
    return nullptr;
}

void CScanSelectedDetail::ShowNotice() {
    const char* key = NoticeKey();
    if (!key) {
        notice_->Hide();
        return;
    }
    const char* text = GetLangString(key);
    const GdkColor colour = RgbColour(225, 32, 23);
    noticeText_->SetLabelMarkText(
        MakeSpanMarkup(EscapeMarkup(text), &colour, GetTextInDomain("Arial 12px"), nullptr, true).c_str());
    notice_->Show();
}

CBPListTreeview* CScanSelectedDetail::NewList(CBPBox* pane, const char* title2, const char* title3,
                                              const char* title4) {
    // The six columns of every list, and the row's texts whole for its tooltip.
    auto* list = new CBPListTreeview({GDK_TYPE_PIXBUF, GDK_TYPE_PIXBUF, G_TYPE_STRING, G_TYPE_STRING, G_TYPE_STRING,
                                      G_TYPE_UINT, G_TYPE_STRING});
    gtk_tree_view_set_tooltip_column(GTK_TREE_VIEW(list->GetTreeView()), kTooltipColumn);
    GdkPixbuf* checks[3] = {nullptr, nullptr, nullptr};
    CUIPublic::Instance()->FillCheckImages(checks, 2);
    // FillCheckImages gives unticked, ticked, partly.
    list->SetCheckImages(checks[0], checks[2], checks[1]);
    list->AppendCheckColumn();
    list->AppendColumn(1, "", false, 24);
    const GdkColor titleColour = RgbColour(66, 66, 66);
    int column = 2;
    for (const char* key : {title2, title3, title4}) {
        list->AppendColumn(column++,
                           MakeSpanMarkup(EscapeMarkup(GetLangString(key)), &titleColour,
                                          GetTextInDomain("Arial 10px"), nullptr, true),
                           true, 150);
    }
    const GdkColor selected = RgbColour(237, 237, 237);
    const GdkColor selected16{0, static_cast<guint16>(selected.red * 257), static_cast<guint16>(selected.green * 257),
                              static_cast<guint16>(selected.blue * 257)};
    gtk_widget_modify_base(list->GetTreeView(), GTK_STATE_SELECTED, &selected16);
    gtk_widget_modify_base(list->GetTreeView(), GTK_STATE_ACTIVE, &selected16);
    list->SetUserCallBack(CBPListTreeview::CALLBACK_ROW_TOGGLED,
                          reinterpret_cast<gpointer>(&CScanSelectedDetail::OnRowToggled), this);
    list->SetUserCallBack(CBPListTreeview::CALLBACK_ALL_TOGGLED,
                          reinterpret_cast<gpointer>(&CScanSelectedDetail::OnCheckAll), this);
    list->SetCallBackWhenAllSelection(0);
    g_signal_connect(list->GetTreeView(), "button-release-event", G_CALLBACK(&CScanSelectedDetail::OnListClicked),
                     this);
    // The arrow keys move the selection: the record beside the list follows it.
    g_signal_connect(gtk_tree_view_get_selection(GTK_TREE_VIEW(list->GetTreeView())), "changed",
                     G_CALLBACK(&CScanSelectedDetail::OnSelectionChanged), this);
    pane->PackStart(list, true, true, 0);
    return list;
}

void CScanSelectedDetail::OnMessage(int, int code) {
    switch (code) {
        case CODE_NEW_CONTACTS: ScheduleDrain(DRAIN_CONTACTS); break;
        case CODE_NEW_MESSAGES: ScheduleDrain(DRAIN_MESSAGES); break;
        case CODE_NEW_FILES: ScheduleDrain(DRAIN_FILES); break;
        case CODE_ONLY_DELETED_ON:
        case CODE_ONLY_DELETED_OFF:
            SetRefreshNeeded(1, category_);
            Show(0, code == CODE_ONLY_DELETED_ON ? 1 : 0);
            break;
        case CODE_UNREAD: {
            uint32_t bits = 0;
            unsigned length = sizeof bits;
            if (Failed(GetMsgById(MSG_SCAN_UNREAD, &bits, &length))) break;
            unread_ |= bits;
            ShowNotice();
            break;
        }
        default: break;
    }
}

// One drain of a kind waits at a time: it takes every record that is fresh when it runs.
void CScanSelectedDetail::ScheduleDrain(DrainKind kind) {
    if (drainSources_[kind]) return;
    drainData_[kind] = PendingDrain{this, kind};
    drainSources_[kind] = g_idle_add(&CScanSelectedDetail::OnDrainIdle, &drainData_[kind]);
}

gboolean CScanSelectedDetail::OnDrainIdle(gpointer data) {
    auto* drain = static_cast<PendingDrain*>(data);
    CScanSelectedDetail* pane = drain->pane;
    pane->drainSources_[drain->kind] = 0;
    switch (drain->kind) {
        case DRAIN_CONTACTS: pane->ShowContacts(1, 0); break;
        case DRAIN_MESSAGES: pane->ShowMessages(1, 0); break;
        default: pane->ShowFiles(1, 0); break;
    }
    return FALSE;
}

size_t CScanSelectedDetail::PendingDrains() const {
    size_t pending = 0;
    for (guint source : drainSources_)
        if (source) ++pending;
    return pending;
}

void CScanSelectedDetail::SetCategory(int category) {
    for (int pane = 1; pane <= 6; ++pane) panes_[pane]->Hide();
    const int shown = category == 0 ? 1 : category;
    if (shown >= 1 && shown <= 6) panes_[shown]->Show();
    if (category == 3) {
        videoGrid_->Pause();
        galleryGrid_->Resume();
    } else if (category == 4) {
        galleryGrid_->Pause();
        videoGrid_->Resume();
    }
    category_ = category;
    ShowNotice();
    Show(0, onlyDeleted_[category]);
    UpdateSelectedCount();
}

int CScanSelectedDetail::GetOnlyDeleted() const {
    auto found = onlyDeleted_.find(category_);
    return found == onlyDeleted_.end() ? 0 : found->second;
}

void CScanSelectedDetail::Show(int freshOnly, int onlyDeleted) {
    onlyDeleted_[category_] = onlyDeleted;
    if (category_ <= 1) ShowContacts(freshOnly, onlyDeleted);
    else if (category_ == 2) ShowMessages(freshOnly, onlyDeleted);
    else if (category_ <= 6) ShowFiles(freshOnly, onlyDeleted);
    UpdateSelectedCount();
}

void CScanSelectedDetail::SetRefreshNeeded(int value, int category) {
    if (category == -1) {
        for (int key = 0; key <= 6; ++key) refreshNeeded_[key] = value;
    } else {
        refreshNeeded_[category] = value;
    }
}

int CScanSelectedDetail::IsRefreshNeeded(int category) const {
    auto found = refreshNeeded_.find(category);
    return found == refreshNeeded_.end() ? 0 : found->second;
}

CScanSelectedDetail::Counts CScanSelectedDetail::GetCounts(int category) const {
    auto found = counts_.find(category);
    return found == counts_.end() ? Counts() : found->second;
}

int CScanSelectedDetail::GetGridTicks(int category) const {
    auto found = gridTicks_.find(category);
    return found == gridTicks_.end() ? 0 : found->second;
}

void CScanSelectedDetail::PostCounts(unsigned id, int category, const Counts& counts) {
    counts_[category] = counts;
    const uint32_t pair[2] = {counts.total, counts.deleted};
    CNotifyCentor::Instance()->Notify(id, pair, sizeof pair);
}

// A fresh drain always runs; a full rebuild only when the category was marked for it.
static bool DrainWanted(int freshOnly, int refreshNeeded) { return freshOnly || refreshNeeded; }

void CScanSelectedDetail::ShowContacts(int freshOnly, int onlyDeleted) {
    ILogicalController* controller = Controller();
    IDataContainer<_CONTACT_INFOMATION>* container = controller ? controller->GetContactContainer() : nullptr;
    if (!container || !DrainWanted(freshOnly, IsRefreshNeeded(category_))) return;
    if (!freshOnly) contactsList_->Clear();
    autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(container);
    Counts counts = counts_[1];
    bool counted = false;
    WalkRecords(
        container, freshOnly != 0,
        [](_CONTACT_INFOMATION& record, const char* keyword) { return record.data && record.data->Matches(keyword); },
        [&](_CONTACT_INFOMATION& record) {
            if (!AddContactRow(&record, onlyDeleted)) record.check = 0;
            // A record may come without its contact: nothing to count.
            if (!freshOnly || !record.data) return;
            ++counts.total;
            if (record.data->IsDeleted()) ++counts.deleted;
            counted = true;
        },
        [&](_CONTACT_INFOMATION& record) {
            if (!freshOnly) record.check = 0;
        });
    if (counted) PostCounts(kCountIds[1], 1, counts);
    container->ClearFresh();
    refreshNeeded_[category_] = 0;
    if (!SelectFirstRow()) cardPane_->Hide();
}

void CScanSelectedDetail::ShowMessages(int freshOnly, int onlyDeleted) {
    ILogicalController* controller = Controller();
    IDataContainer<_SMS_INFOMATION>* container = controller ? controller->GetSmsContainer() : nullptr;
    if (!container || !DrainWanted(freshOnly, IsRefreshNeeded(category_))) return;
    if (!freshOnly) messagesList_->Clear();
    autolocker<IDataContainer<_SMS_INFOMATION>*> lock(container);
    Counts counts = counts_[2];
    bool counted = false;
    WalkRecords(
        container, freshOnly != 0,
        [](_SMS_INFOMATION& record, const char* keyword) { return record.session && record.session->Matches(keyword); },
        [&](_SMS_INFOMATION& record) {
            if (!AddConversationRow(&record, onlyDeleted)) record.check = 0;
            if (!freshOnly || !record.session) return;
            ++counts.total;
            if (record.session->GetDeletedCount() != 0) ++counts.deleted;
            counted = true;
        },
        [&](_SMS_INFOMATION& record) {
            if (!freshOnly) record.check = 0;
        });
    if (counted) PostCounts(kCountIds[2], 2, counts);
    container->ClearFresh();
    refreshNeeded_[category_] = 0;
    if (!SelectFirstRow()) conversationPane_->Hide();
}

void CScanSelectedDetail::ShowFiles(int freshOnly, int onlyDeleted) {
    ILogicalController* controller = Controller();
    IDataContainer<_ARCHIVE_INFOMATION>* container = controller ? controller->GetArchiveContainer() : nullptr;
    if (!container || !DrainWanted(freshOnly, IsRefreshNeeded(category_))) return;
    if (!freshOnly) {
        if (IsRefreshNeeded(5)) audioList_->Clear();
        if (IsRefreshNeeded(6)) documentsList_->Clear();
        if (IsRefreshNeeded(3)) {
            galleryGrid_->ReLoadPhotoList({});
            gridTicks_[3] = 0;
        }
        if (IsRefreshNeeded(4)) {
            videoGrid_->ReLoadPhotoList({});
            gridTicks_[4] = 0;
        }
    }
    autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(container);
    FileWalk walk;
    for (int category = 3; category <= 6; ++category) walk.counts[category] = counts_[category];
    WalkRecords(
        container, freshOnly != 0,
        [](_ARCHIVE_INFOMATION& record, const char* keyword) {
            return record.node && record.node->MatchesKeyword(keyword);
        },
        [&](_ARCHIVE_INFOMATION& record) {
            if (!record.node) return;
            const int category = CategoryOfFileNode(record.node);
            if (!freshOnly && category != category_) return;
            if (category == 3 || category == 4) {
                AddGridItem(category, &record, freshOnly, onlyDeleted, &walk);
                return;
            }
            if (freshOnly) {
                ++walk.counts[category].total;
                if (record.node->IsDeleted()) ++walk.counts[category].deleted;
                walk.counted[category] = true;
            }
            if (!AddFileRow(category, &record, onlyDeleted)) record.check = 0;
        },
        [&](_ARCHIVE_INFOMATION& record) {
            // A full rebuild with a keyword: what it hides of this category is not recovered either.
            if (!freshOnly && record.node && CategoryOfFileNode(record.node) == category_) record.check = 0;
        });
    for (int grid = 0; grid < 2; ++grid) {
        std::vector<CMediaInfo>& batch = walk.deletedItems[grid];
        batch.insert(batch.end(), walk.liveItems[grid].begin(), walk.liveItems[grid].end());
        if (!batch.empty()) (grid == 0 ? galleryGrid_ : videoGrid_)->AppendPhotos(batch);
    }
    for (int category : {6, 5, 4, 3})
        if (walk.counted[category]) PostCounts(kCountIds[category], category, walk.counts[category]);
    container->ClearFresh();
    if (freshOnly) {
        for (int category : {6, 5, 4, 3}) refreshNeeded_[category] = 0;
    } else {
        refreshNeeded_[category_] = 0;
    }
}

CBPListTreeview* CScanSelectedDetail::CurrentList() const {
    switch (category_) {
        case 0:
        case 1: return contactsList_;
        case 2: return messagesList_;
        case 5: return audioList_;
        case 6: return documentsList_;
        default: return nullptr;
    }
}

CBPImgGridList* CScanSelectedDetail::CurrentGrid() const {
    return category_ == 3 ? galleryGrid_ : category_ == 4 ? videoGrid_ : nullptr;
}

CBPListTreeview* CScanSelectedDetail::GetList(int category) const {
    switch (category) {
        case 1: return contactsList_;
        case 2: return messagesList_;
        case 5: return audioList_;
        case 6: return documentsList_;
        default: return nullptr;
    }
}

CBPImgGridList* CScanSelectedDetail::GetGrid(int category) const {
    return category == 3 ? galleryGrid_ : category == 4 ? videoGrid_ : nullptr;
}

CBPBox* CScanSelectedDetail::GetPane(int category) const {
    return category >= 1 && category <= 6 ? panes_[category] : nullptr;
}
