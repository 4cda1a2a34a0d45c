#include "gui/pages/ScanTree.h"

#include <cstdio>

#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/CategoryTable.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/MarkupHelpers.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPCairoPaths.h"
#include "outside/widgets/CBPDrawLine.h"
#include "outside/widgets/CBPImgTxtLabel.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"

namespace {

constexpr int kIconTextDistance = 8;
constexpr int kBorderWidth = 2;

// The count message of a category; the device row shares the contacts' one.
unsigned CountMessageOf(int category) {
    switch (category) {
    case CATEGORY_DEVICE:
    case CATEGORY_CONTACTS: return MSG_COUNT_CONTACTS;
    case CATEGORY_MESSAGES: return MSG_COUNT_MESSAGES;
    case CATEGORY_GALLERY: return MSG_COUNT_GALLERY;
    case CATEGORY_VIDEOS: return MSG_COUNT_VIDEOS;
    case CATEGORY_AUDIO: return MSG_COUNT_AUDIO;
    case CATEGORY_DOCUMENTS: return MSG_COUNT_DOCUMENTS;
    default: return 0;
    }
}

// The category of a count message's code; -1 for other codes.
int CategoryOfCountCode(int code) {
    switch (code) {
    case MsgCode(MSG_COUNT_CONTACTS): return CATEGORY_CONTACTS;
    case MsgCode(MSG_COUNT_MESSAGES): return CATEGORY_MESSAGES;
    case MsgCode(MSG_COUNT_GALLERY): return CATEGORY_GALLERY;
    case MsgCode(MSG_COUNT_VIDEOS): return CATEGORY_VIDEOS;
    case MsgCode(MSG_COUNT_AUDIO): return CATEGORY_AUDIO;
    case MsgCode(MSG_COUNT_DOCUMENTS): return CATEGORY_DOCUMENTS;
    default: return -1;
    }
}

}  // namespace

CScanTree::CScanTree() : CBPBox(true, false, 0) {
    Subscribe(MSG_RESULT_COUNTS_ALL);
    Subscribe(MSG_DEVICE_OFFLINE);
    CBPIniParser* config = CUIPublic::Instance()->GetConfig();
    gtk_widget_set_size_request(GetWidget(), config->GetKeyValueInt("ScanMain", "TreeListSize"), -1);
    deviceImage_ = gdk_pixbuf_new_from_file((CUIPublic::Instance()->ResFolder() + "androider.png").c_str(), nullptr);
    BuildItems();
    gtk_container_set_border_width(GTK_CONTAINER(GetWidget()), config->GetKeyValueInt("ScanMain", "TreeBorderW"));
    gtk_box_set_spacing(GTK_BOX(GetWidget()), config->GetKeyValueInt("ScanMain", "TreeItemDis"));
    gtk_container_set_border_width(GTK_CONTAINER(GetWidget()), kBorderWidth);
}

CScanTree::~CScanTree() {
    g_signal_handlers_disconnect_by_data(GetWidget(), this);
    for (CBPImgTxtLabel*& row : rows_) {
        delete row;
        row = nullptr;
    }
    delete spacer_;
    if (deviceImage_) g_object_unref(deviceImage_);
}

void CScanTree::BuildItems() {
    CBPIniParser* config = CUIPublic::Instance()->GetConfig();
    spacer_ = new CBPLabel("");
    gtk_widget_set_size_request(spacer_->GetWidget(), -1, 1);
    spacer_->Show();
    PackStart(spacer_, false, false, 0);
    const GdkColor labelColour = RgbColour(44, 44, 44);
    const GdkColor highlight = RgbColour(12, 125, 160);
    for (int id = CATEGORY_DEVICE; id < CATEGORY_COUNT; ++id) {
        const _CATEGORY_ITEM* item = GetCategoryItem(id);
        std::string markup;
        int head = 0;
        if (id == CATEGORY_DEVICE) {
            // The device's text comes from the phone: escaped before it becomes markup.
            markup = MakeSpanMarkup(EscapeMarkup(CUIPublic::Instance()->GetLastText()), &labelColour,
                                    GetTextInDomain("Arial bold 12px"), nullptr, true);
            head = config->GetKeyValueInt("ScanMain", "TreeRootHeadDis");
        } else {
            markup = MakeSpanMarkup(EscapeMarkup(item && item->label ? item->label : ""), &labelColour,
                                    GetTextInDomain("Arial 12px"), nullptr, true);
            head = config->GetKeyValueInt("ScanMain", "TreeSubHeadDis");
        }
        auto* row = new CBPImgTxtLabel(item && item->icon ? item->icon : "", markup.c_str());
        row->SetLabelKey(id);
        row->SetHeadDis(head, kIconTextDistance);
        row->AppendTxt("");
        row->SetHightLightClr(highlight);
        row->SetPressCallBack(&CScanTree::OnRowPressed, this);
        row->Show();
        PackStart(row, false, false, 0);
        rows_[id] = row;
    }
    RegisterCallBack("expose-event", G_CALLBACK(&CScanTree::OnExpose), this);
}

CBPImgTxtLabel* CScanTree::GetRow(int index) const {
    return index >= CATEGORY_DEVICE && index < CATEGORY_COUNT ? rows_[index] : nullptr;
}

CScanTree::Counts CScanTree::GetCounts(int category) const {
    auto found = counts_.find(category);
    return found == counts_.end() ? Counts() : found->second;
}

void CScanTree::OnMessage(int, int code) {
    if (code == static_cast<int>(MsgCode(MSG_DEVICE_OFFLINE))) {
        OnDeviceOffline();
        return;
    }
    const int category = CategoryOfCountCode(code);
    if (category > 0) UpdateCount(category);
}

void CScanTree::UpdateCount(int category) {
    QueryCounts(category);
    SetItemCount(category);
}

void CScanTree::QueryCounts(int category) {
    Counts counts;
    const unsigned id = CountMessageOf(category);
    if (id) {
        uint32_t pair[2] = {0, 0};  // total, deleted
        void* buffer = pair;
        unsigned length = sizeof pair;
        if (CNotifyCentor::Instance()->GetPayload(id, &buffer, &length) && length >= sizeof pair) {
            counts.total = pair[0];
            counts.deleted = pair[1];
        }
    }
    counts_[category == CATEGORY_DEVICE ? CATEGORY_CONTACTS : category] = counts;
    auto d = [this](int k) { return static_cast<int>(GetCounts(k).deleted); };
    auto t = [this](int k) { return static_cast<int>(GetCounts(k).total); };
    CUIPublic::Instance()->SetCounters(d(1), t(1), d(2), t(2), d(3), t(3), d(4), t(4), d(6), t(6), d(5), t(5));
}

void CScanTree::SetItemCount(int category) {
    CBPImgTxtLabel* row = GetRow(category);
    const Counts counts = GetCounts(category);
    if (!row || counts.total == 0) return;
    char text[32];
    std::snprintf(text, sizeof text, "(%u/%u)", counts.deleted, counts.total);
    row->SetAppendTxt(text, RgbColour(85, 85, 85));
}

void CScanTree::SelectItem(int index) {
    if (index == currentRow_) return;
    if (CBPImgTxtLabel* current = GetRow(currentRow_)) current->SetLabelNormal();
    currentRow_ = index;
    if (CBPImgTxtLabel* row = GetRow(index)) row->SetLabelHeighLight();
    if (index < CATEGORY_CONTACTS) return;  // the device row switches nothing
    if (detail_) detail_->SetCategory(index);
    if (progress_) {
        progress_->SetCategory(index);
        progress_->RestoreSearchText();
    }
}

void CScanTree::OnDeviceOffline() {
    if (currentRow_ >= CATEGORY_GALLERY && currentRow_ <= CATEGORY_DOCUMENTS) SelectItem(CATEGORY_CONTACTS);
    for (int index = CATEGORY_GALLERY; index <= CATEGORY_DOCUMENTS; ++index)
        gtk_widget_set_sensitive(rows_[index]->GetWidget(), FALSE);
    if (ILogicalController* controller = CUIPublic::Instance()->GetLogicalController()) controller->Stop();
}

void CScanTree::OnRowPressed(CBPImgTxtLabel* label, gpointer self) {
    if (label) static_cast<CScanTree*>(self)->SelectItem(label->GetLabelKey());
}

gboolean CScanTree::OnExpose(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    auto* tree = static_cast<CScanTree*>(self);
    GtkAllocation a;
    gtk_widget_get_allocation(widget, &a);
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    // The border along the right edge.
    CBPCairoPaths(&cairo).SetPathRgb(186, 186, 186);
    CBPDrawLine(&cairo).DrawLine(a.x + a.width - 1, a.y, a.x + a.width - 1, a.y + a.height, 2);
    // The device's picture at the bottom left.
    if (tree->deviceImage_) {
        const int height = gdk_pixbuf_get_height(tree->deviceImage_);
        cairo_t* cr = cairo.GetCairo();
        gdk_cairo_set_source_pixbuf(cr, tree->deviceImage_, a.x, a.y + a.height - height);
        cairo_paint(cr);
    }
    return FALSE;
}
