// The scan detail view's list rows, their ticks and the record shown beside a list.
#include <algorithm>
#include <type_traits>

#include "contacts/IContactData.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MarkupHelpers.h"
#include "media_recovery/CRecoveryFilter.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPListTreeview.h"
#include "outside/widgets/CU8String.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

enum ListColumn { COL_CHECK, COL_DELETED, COL_TEXT2, COL_TEXT3, COL_TEXT4, COL_ID, COL_TOOLTIP };
constexpr int kTicked = 2;

ILogicalController* Controller() { return CUIPublic::Instance()->GetLogicalController(); }

// The value of an item the data object handed out (released here); "" for none.
std::string TakeValue(IConactItem* item) {
    std::string value;
    if (item) {
        if (const char* text = item->GetValue()) value = text;
        item->Release();
    }
    return value;
}

std::string RowMarkup(const std::string& text, bool deleted) {
    const GdkColor colour = deleted ? RgbColour(232, 97, 6) : RgbColour(21, 21, 21);
    return MakeSpanMarkup(EscapeMarkup(CU8String(text.c_str()).str()), &colour, GetTextInDomain("12px"), nullptr, true);
}

unsigned RowId(GtkTreeModel* model, GtkTreeIter* iter) {
    guint id = 0;
    gtk_tree_model_get(model, iter, COL_ID, &id, -1);
    return id;
}

// A text compared as people read it: case aside, by the collation of the user's language.
std::string CollationKey(const std::string& text) {
    gchar* folded = g_utf8_casefold(text.c_str(), -1);
    gchar* key = folded ? g_utf8_collate_key(folded, -1) : nullptr;
    std::string result = key ? key : text;
    g_free(key);
    g_free(folded);
    return result;
}

}  // namespace

int CScanSelectedDetail::CategoryOfFileNode(IFileNode* node) {
    CRecoveryFilter* filter = GetRecoveryFilter();
    if (!node || !filter) return 6;
    switch (filter->GetCategoryFlag(node)) {
        case FILTER_FLAG_PICTURE: return 3;
        case FILTER_FLAG_VIDEO: return 4;
        case FILTER_FLAG_AUDIO: return 5;
        default: return 6;
    }
}

std::string CScanSelectedDetail::ShownName(IContactData* contact, unsigned id) {
    std::string name = TakeValue(contact->GetName());
    if (!name.empty()) return name;
    const std::string phone = TakeValue(contact->GetPhone()), email = TakeValue(contact->GetEmail());
    if (!phone.empty() || !email.empty()) {
        for (IConactItem* item = contact->FirstItem(); item; item = contact->NextItem()) {
            const char* value = item->GetKind() == 1 ? item->GetValue() : nullptr;
            if (value && *value && (value == phone || value == email)) name = value;
            item->Release();
            if (!name.empty()) return name;
        }
    }
    gchar* text = g_strdup_printf(GetLangFormat("CONTACT_WITHOUT_NAME", "%04u"), id);
    name = text ? text : "";
    g_free(text);
    return name;
}

int CScanSelectedDetail::AddContactRow(_CONTACT_INFOMATION* record, int onlyDeleted) {
    IContactData* contact = record->data;
    if (!contact) return 0;
    const bool deleted = contact->IsDeleted() != 0;
    if (onlyDeleted && !deleted) return 0;
    cardPane_->Show();
    const std::string name = ShownName(contact, record->id);
    const std::string phone = TakeValue(contact->GetPhone());
    const std::string email = TakeValue(contact->GetEmail());
    RowOrder& order = contactOrder_[record->id];
    order = RowOrder{deleted, 0, CollationKey(name), phone, email};
    AddRow(contactsList_, record->check, deleted, name, phone, email, record->id);
    return 1;
}

// The text of the last message's first part; a conversation without messages, or a last message
// without parts or with another part first, shows the stand-in text.
std::string CScanSelectedDetail::LastMessageText(ISMSSession* session) {
    std::string text = GetLangString("DEFAULT_RECENT_MESSAGE");
    ISMSData* last = session->LastData();
    if (!last) return text;
    if (ISMSItem* item = last->FirstItem()) {
        if (item->GetType() == 1 && item->GetData()) text = item->GetData();
        item->Release();
    }
    last->Release();
    return text;
}

int CScanSelectedDetail::AddConversationRow(_SMS_INFOMATION* record, int onlyDeleted) {
    ISMSSession* session = record->session;
    if (!session) return 0;
    const bool deleted = session->GetDeletedCount() != 0;
    if (onlyDeleted && !deleted) return 0;
    conversationPane_->Show();
    const char* name = session->GetName();
    const char* number = session->GetNumber();
    const std::string text = LastMessageText(session);
    int64_t newest = 0;
    if (ISMSData* last = session->LastData()) {
        newest = last->GetDate();
        last->Release();
    }
    conversationOrder_[record->id] =
        RowOrder{deleted, newest, CollationKey(name ? name : ""), number ? number : "", text};
    AddRow(messagesList_, record->check, deleted, name ? name : "", number ? number : "", text, record->id);
    return 1;
}

bool CScanSelectedDetail::RowOrder::operator<(const RowOrder& other) const {
    if (deleted != other.deleted) return deleted;
    if (newest != other.newest) return newest > other.newest;
    if (first != other.first) return first < other.first;
    if (second != other.second) return second < other.second;
    return third < other.third;
}

std::map<unsigned, CScanSelectedDetail::RowOrder>* CScanSelectedDetail::OrderOf(CBPListTreeview* list) {
    return list == contactsList_ ? &contactOrder_ : list == messagesList_ ? &conversationOrder_ : nullptr;
}

gint CScanSelectedDetail::CompareRows(GtkTreeModel* model, GtkTreeIter* a, GtkTreeIter* b, gpointer orders) {
    const auto* known = static_cast<const std::map<unsigned, RowOrder>*>(orders);
    const auto first = known->find(RowId(model, a)), second = known->find(RowId(model, b));
    // A row whose texts are not set yet (its id is not either) goes last until they are.
    if (first == known->end() || second == known->end()) return (first == known->end()) - (second == known->end());
    return first->second < second->second ? -1 : second->second < first->second ? 1 : 0;
}

int CScanSelectedDetail::AddFileRow(int category, _ARCHIVE_INFOMATION* record, int onlyDeleted) {
    IFileNode* node = record->node;
    if (!node) return 0;
    CBPListTreeview* list = category == 5 ? audioList_ : documentsList_;
    if (!list) return 0;
    const bool deleted = node->IsDeleted();
    if (onlyDeleted && !deleted) return 0;
    const char* nameText = node->GetName();
    const std::string name = nameText ? nameText : "";
    const size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
    AddRow(list, record->check, deleted, name, FormatSizeText(node->GetSize()), extension, record->id);
    return 1;
}

void CScanSelectedDetail::AddRow(CBPListTreeview* list, unsigned selection, bool deleted, const std::string& text2,
                                 const std::string& text3, const std::string& text4, unsigned id) {
    if (!list) return;
    // The column shows one line: each line break in it (a run of CR and LF) becomes one blank, so
    // that the words on either side stay apart.
    std::string lastColumn;
    lastColumn.reserve(text4.size());
    bool inBreak = false;
    for (char c : text4) {
        const bool lineBreak = c == '\r' || c == '\n';
        if (!lineBreak) lastColumn += c;
        else if (!inBreak) lastColumn += ' ';
        inBreak = lineBreak;
    }
    list->SetAppendMode(!deleted);
    GtkTreeIter iter;
    list->AddRow(&iter);
    // Hovering a row shows its texts whole, however narrow their columns.
    std::string tooltip;
    for (const std::string* text : {&text2, &text3, &text4}) {
        if (text->empty()) continue;
        if (!tooltip.empty()) tooltip += '\n';
        tooltip += EscapeMarkup(CU8String(text->c_str()).str());
    }
    gtk_list_store_set(list->GetStore(), &iter, COL_DELETED, deleted ? trash_ : nullptr, COL_TEXT2,
                       RowMarkup(text2, deleted).c_str(), COL_TEXT3, RowMarkup(text3, deleted).c_str(), COL_TEXT4,
                       RowMarkup(lastColumn, deleted).c_str(), COL_TOOLTIP, tooltip.c_str(), COL_ID, id, -1);
    list->SetCheckState(&iter, selection ? kTicked : 0);
    if (gtk_widget_get_realized(list->GetTreeView())) list->ScrollToTop();
}

gboolean CScanSelectedDetail::OnListClicked(GtkWidget* view, GdkEventButton* event, gpointer self) {
    GtkTreePath* path = nullptr;
    if (!gtk_tree_view_get_path_at_pos(GTK_TREE_VIEW(view), static_cast<gint>(event->x), static_cast<gint>(event->y),
                                       &path, nullptr, nullptr, nullptr))
        return FALSE;
    GtkTreeModel* model = gtk_tree_view_get_model(GTK_TREE_VIEW(view));
    GtkTreeIter iter;
    const bool found = gtk_tree_model_get_iter(model, &iter, path);
    gtk_tree_path_free(path);
    if (found) static_cast<CScanSelectedDetail*>(self)->FollowRow(RowId(model, &iter));
    return FALSE;
}

void CScanSelectedDetail::OnSelectionChanged(GtkTreeSelection* selection, gpointer self) {
    auto* pane = static_cast<CScanSelectedDetail*>(self);
    CBPListTreeview* list = pane->CurrentList();
    if (!list || gtk_tree_view_get_selection(GTK_TREE_VIEW(list->GetTreeView())) != selection) return;
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (gtk_tree_selection_get_selected(selection, &model, &iter)) pane->FollowRow(RowId(model, &iter));
}

void CScanSelectedDetail::FollowRow(unsigned id) {
    // The click that selects a row also releases over it: the record is built once.
    const bool contacts = category_ == 0 || category_ == 1;
    if ((contacts || category_ == 2) && shownRecord_[contacts ? 0 : 1] == static_cast<int64_t>(id)) return;
    ShowRecord(id);
}

void CScanSelectedDetail::OnRowToggled(GtkTreeIter* iter, int value, gpointer self) {
    auto* pane = static_cast<CScanSelectedDetail*>(self);
    pane->UpdateSelectedCount();
    CBPListTreeview* list = pane->CurrentList();
    ILogicalController* controller = Controller();
    if (!list || !controller) return;
    const unsigned id = RowId(GTK_TREE_MODEL(list->GetStore()), iter);
    auto select = [id, value](auto* container) {
        autolocker<std::remove_pointer_t<decltype(container)>*> lock(container);
        if (container && container->Contains(id)) container->At(id)->check = static_cast<uint32_t>(value);
    };
    switch (pane->category_) {
        case 0:
        case 1: select(controller->GetContactContainer()); break;
        case 2: select(controller->GetSmsContainer()); break;
        case 5:
        case 6: select(controller->GetArchiveContainer()); break;
        default: break;
    }
}

void CScanSelectedDetail::OnCheckAll(int value, gpointer self) { static_cast<CScanSelectedDetail*>(self)->CheckAll(value); }

std::vector<unsigned> CScanSelectedDetail::ShownIds() const {
    std::vector<unsigned> ids;
    CBPListTreeview* list = CurrentList();
    if (!list) return ids;
    GtkTreeModel* model = GTK_TREE_MODEL(list->GetStore());
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter))
        ids.push_back(RowId(model, &iter));
    return ids;
}

// The header's box ticks the rows the list shows, and only those: every other record of the
// category loses its tick, so that Recover writes what the user saw ticked, whatever the
// switches and the search did to the containers since the list was filled.
void CScanSelectedDetail::CheckAll(int value) {
    ILogicalController* controller = Controller();
    std::vector<unsigned> shown = ShownIds();
    std::sort(shown.begin(), shown.end());
    const auto tick = [&shown, value](unsigned id) {
        return std::binary_search(shown.begin(), shown.end(), id) ? static_cast<uint32_t>(value) : 0u;
    };
    const auto tickAll = [&tick](auto* container, auto inCategory) {
        if (!container) return;
        autolocker<std::remove_pointer_t<decltype(container)>*> lock(container);
        for (auto it = container->Begin(); it != container->End(); ++it) {
            if (!container->Contains(it->first)) continue;
            auto* record = container->At(it->first);
            if (inCategory(*record)) record->check = tick(it->first);
        }
    };
    if (controller && (category_ == 1 || category_ == 0)) {
        tickAll(controller->GetContactContainer(), [](const _CONTACT_INFOMATION&) { return true; });
    } else if (controller && category_ == 2) {
        tickAll(controller->GetSmsContainer(), [](const _SMS_INFOMATION&) { return true; });
    } else if (controller && (category_ == 5 || category_ == 6)) {
        const int category = category_;
        tickAll(controller->GetArchiveContainer(), [category](const _ARCHIVE_INFOMATION& record) {
            return record.node && CategoryOfFileNode(record.node) == category;
        });
    }
    UpdateSelectedCount();
}

void CScanSelectedDetail::UpdateSelectedCount() {
    if (!bottomBar_) return;
    int count = 0;
    if (category_ == 3 || category_ == 4) count = GetGridTicks(category_);
    else if (CBPListTreeview* list = CurrentList()) count = list->GetSelectedRows();
    bottomBar_->UpdateSelectedTip(count, category_);
}

bool CScanSelectedDetail::SelectFirstRow() {
    CBPListTreeview* list = CurrentList();
    GtkTreeIter iter;
    if (!list || !list->GetFirstRow(&iter)) return false;
    ShowRecord(RowId(GTK_TREE_MODEL(list->GetStore()), &iter));
    list->SelectRow(&iter);
    return true;
}

void CScanSelectedDetail::ShowRecord(unsigned id) {
    ILogicalController* controller = Controller();
    if (!controller) return;
    if (category_ == 0 || category_ == 1) {
        IDataContainer<_CONTACT_INFOMATION>* container = controller->GetContactContainer();
        autolocker<IDataContainer<_CONTACT_INFOMATION>*> lock(container);
        if (!container || !container->Contains(id)) return;
        const _CONTACT_INFOMATION* record = container->At(id);
        shownRecord_[0] = id;
        ShowContactCard(id, record->check, record->data);
    } else if (category_ == 2) {
        IDataContainer<_SMS_INFOMATION>* container = controller->GetSmsContainer();
        autolocker<IDataContainer<_SMS_INFOMATION>*> lock(container);
        if (!container || !container->Contains(id)) return;
        const _SMS_INFOMATION* record = container->At(id);
        shownRecord_[1] = id;
        ShowConversation(id, record->check, record->session);
    }
}
