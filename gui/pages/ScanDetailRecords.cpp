// The scan detail view's picture grids, contact card and conversation.
#include <glib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "contacts/IContactData.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/IItemReader.h"
#include "logic_contract/ILogicalController.h"
#include "logic_contract/IRecoveryJob.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/MsgBubble.h"
#include "media_recovery/file_model/IFileNode.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPDrawRoundRectangle.h"
#include "outside/widgets/CBPEventBox.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPIniParser.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CU8String.h"
#include "outside/widgets/IBPDateTime.h"
#include "platform/TimeConversion.h"
#include "sms/ISMSSession.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

// Pictures larger than this are not shown in the gallery (500 MiB).
constexpr uint64_t kLargestGalleryPicture = 0x1F400000;
constexpr unsigned kSmallRead = 65536;
constexpr int kThumbWidth = 126, kThumbHeight = 96;
constexpr int kAvatarSide = 128;
constexpr int kDefaultPaneWidth = 260;
// The card: its header's border and spacing, its fields' padding, label width and the room left
// for the scroll bar; the separator under the header at least this far down.
constexpr int kHeaderBorder = 12, kHeaderSpacing = 10;
constexpr int kFieldPadding = 10, kFieldLabelWidth = 120, kScrollBarRoom = 16;
constexpr int kSeparatorTop = 86;

ILogicalController* Controller() { return CUIPublic::Instance()->GetLogicalController(); }
std::string Res(const char* name) { return CUIPublic::Instance()->ResFolder() + name; }
CBPIniParser* Config() { return CUIPublic::Instance()->GetConfig(); }

std::string Span(const std::string& escapedText, GdkColor colour, const char* font) {
    return MakeSpanMarkup(escapedText, &colour, GetTextInDomain(font), nullptr, true);
}

GtkWidget* NewScrollWindow() {
    GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
    g_object_set_data(G_OBJECT(scroll), "scroller_win_line", GINT_TO_POINTER(1));
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_AUTOMATIC, GTK_POLICY_AUTOMATIC);
    return scroll;
}

// A new box in the scroll window, in place of the one there (destroyed).
GtkWidget* ReplaceScrolledBox(GtkWidget* scroll, GtkWidget* previous) {
    if (previous) gtk_widget_destroy(gtk_widget_get_parent(previous));  // with its viewport
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_scrolled_window_add_with_viewport(GTK_SCROLLED_WINDOW(scroll), box);
    gtk_widget_show_all(scroll);
    return box;
}

// A label of the phone's text that shows it whole: wrapped at width, never with a character
// the text does not have.
GtkWidget* NewWrappedLabel(const std::string& markup, int width) {
    GtkWidget* label = gtk_label_new("");
    gtk_label_set_markup(GTK_LABEL(label), WithoutHyphens(markup).c_str());
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_widget_set_size_request(label, std::max(width, 1), -1);
    gtk_misc_set_alignment(GTK_MISC(label), 0.0f, 0.0f);
    return label;
}

int CardWidth() {
    const int width = CUIPublic::Instance()->GetConfig()->GetKeyValueInt("ScanMain", "ScanDetailSize");
    return width > 0 ? width : kDefaultPaneWidth;
}

// The bytes of a found file for its thumbnail: the first read when it holds it all, else the
// whole file. Null when it cannot be read; free with g_free.
guchar* ReadItem(IItemReader* reader, size_t* length) {
    const uint64_t size = reader->GetSize64();
    auto* small = static_cast<guchar*>(g_malloc0(kSmallRead));
    if (reader->ReadSmall(small, kSmallRead) != 0) {
        *length = size < kSmallRead ? static_cast<size_t>(size) : kSmallRead;
        return small;
    }
    g_free(small);
    const unsigned whole = reader->GetSize();
    auto* bytes = static_cast<guchar*>(g_try_malloc0(whole ? whole : 1));
    if (!bytes) return nullptr;
    *length = reader->Read(0, bytes, whole);
    return bytes;
}

}  // namespace

bool CScanSelectedDetail::AddGridItem(int category, _ARCHIVE_INFOMATION* record, int freshOnly, int onlyDeleted,
                                      FileWalk* walk) {
    IFileNode* node = record->node;
    if (category == 3 && node->GetSize() > kLargestGalleryPicture) return false;
    const bool deleted = node->IsDeleted();
    const char* name = node->GetName();
    CMediaInfo item;
    item.caption = Span(EscapeMarkup(CU8String(name ? name : "").str()),
                        deleted ? RgbColour(232, 97, 6) : RgbColour(0, 0, 0), "Arial 12px");
    if (category == 3) {
        item.path = " ";
        item.loader = &CScanSelectedDetail::LoadThumbnail;
        item.loaderData = this;
    } else {
        item.path = Res("icon_vieos_b.png");
    }
    if (onlyDeleted && !deleted) {
        record->check = 0;
        return false;
    }
    item.id = record->id;
    item.selected = record->check != 0;
    if (item.selected) ++gridTicks_[category];
    const int grid = category == 3 ? 0 : 1;
    (deleted ? walk->deletedItems[grid] : walk->liveItems[grid]).push_back(item);
    if (freshOnly) {
        ++walk->counts[category].total;
        if (deleted) ++walk->counts[category].deleted;
        walk->counted[category] = true;
    }
    return true;
}

void CScanSelectedDetail::OnGridSelectionChanged(unsigned id, int selected, int, gpointer data) {
    if (!data) {
        g_log(G_LOG_DOMAIN, G_LOG_LEVEL_CRITICAL, "file %s: line %d (%s): assertion `%s' failed", "ScanSelectedDetail",
              415, G_STRFUNC, "NULL != pUserData");
        return;
    }
    auto* pane = static_cast<CScanSelectedDetail*>(data);
    ILogicalController* controller = Controller();
    IDataContainer<_ARCHIVE_INFOMATION>* container = controller ? controller->GetArchiveContainer() : nullptr;
    if (!pane->CurrentGrid() || !container) return;
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(container);
        const bool contained = container->Contains(id);
        if (contained && container->At(id)->check == static_cast<uint32_t>(selected)) return;
        if (contained) container->At(id)->check = static_cast<uint32_t>(selected);
    }
    int& ticks = pane->gridTicks_[pane->category_];
    ticks = selected ? ticks + 1 : (ticks > 0 ? ticks - 1 : 0);
    pane->UpdateSelectedCount();
}

GdkPixbuf* CScanSelectedDetail::LoadThumbnail(unsigned id, gpointer) {
    ILogicalController* controller = Controller();
    if (!controller) return nullptr;
    IDataContainer<_ARCHIVE_INFOMATION>* container = controller->GetArchiveContainer();
    IRecoveryJob* job = controller->GetRecoveryObject();
    const std::string fallback = Res("default_img.png");
    if (!container || !job) return LoadScaledPixbuf(nullptr, 0, fallback, kThumbWidth, kThumbHeight);
    // The record is copied under the lock; the read itself must not hold up the scan.
    _ARCHIVE_INFOMATION record;
    {
        autolocker<IDataContainer<_ARCHIVE_INFOMATION>*> lock(container);
        if (!container->Contains(id)) return LoadScaledPixbuf(nullptr, 0, fallback, kThumbWidth, kThumbHeight);
        record = *container->At(id);
    }
    IItemReader* reader = job->OpenItem(&record);
    if (!reader) return LoadScaledPixbuf(nullptr, 0, fallback, kThumbWidth, kThumbHeight);
    size_t length = 0;
    guchar* bytes = ReadItem(reader, &length);
    GdkPixbuf* picture = LoadScaledPixbuf(bytes, length, fallback, kThumbWidth, kThumbHeight);
    g_free(bytes);
    reader->Release();
    return picture;
}

void CScanSelectedDetail::BuildCardPane() {
    cardPane_ = new CBPBox(true, false, 0);
    gtk_widget_set_size_request(cardPane_->GetWidget(), CardWidth(), -1);
    GtkWidget* header = gtk_hbox_new(FALSE, kHeaderSpacing);
    cardHeader_ = header;
    gtk_container_set_border_width(GTK_CONTAINER(header), kHeaderBorder);
    avatarBox_ = new CBPEventBox;
    avatarBox_->SetVisibleWindow(false);
    int side = 64, height = 64;
    Config()->GetKeyIntPoint("ScanMain", "IconImageSize", &side, &height);
    gtk_widget_set_size_request(avatarBox_->GetWidget(), side, height);
    avatarBox_->RegisterCallBack("expose-event", G_CALLBACK(&CScanSelectedDetail::DrawAvatar), this);
    // A long name wraps over lines of the header's width rather than being cut.
    cardName_ = new CBPLabel("");
    gtk_widget_set_size_request(cardName_->GetWidget(), CardWidth() - 2 * kHeaderBorder - kHeaderSpacing - side, -1);
    gtk_label_set_line_wrap(GTK_LABEL(cardName_->GetWidget()), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(cardName_->GetWidget()), PANGO_WRAP_WORD_CHAR);
    gtk_misc_set_alignment(GTK_MISC(cardName_->GetWidget()), 0.0f, 0.5f);
    // The picture keeps its size at the top of a header that a long name makes taller.
    GtkWidget* avatarPlace = gtk_alignment_new(0.0f, 0.0f, 0.0f, 0.0f);
    gtk_container_add(GTK_CONTAINER(avatarPlace), avatarBox_->GetWidget());
    gtk_box_pack_start(GTK_BOX(header), avatarPlace, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(header), cardName_->GetWidget(), FALSE, FALSE, 0);
    cardPane_->PackStart(header, false, false, 0);
    cardScroll_ = NewScrollWindow();
    cardPane_->PackStart(cardScroll_, true, true, 0);
    avatar_ = LoadScaledPixbuf(nullptr, 0, Res("icon_contacts_b.png"), kAvatarSide, kAvatarSide);
    cardPane_->RegisterCallBack("expose-event", G_CALLBACK(&CScanSelectedDetail::DrawPaneSeparator), this, true);
    panes_[1]->PackEnd(cardPane_, false, false, 0);
    cardPane_->ShowAll();
    cardPane_->NoShowAll(1);
}

void CScanSelectedDetail::BuildConversationPane() {
    conversationPane_ = new CBPBox(true, false, 0);
    const int width = Config()->GetKeyValueInt("ScanMain", "ScanDetailSize");
    gtk_widget_set_size_request(conversationPane_->GetWidget(), width > 0 ? width : kDefaultPaneWidth, -1);
    conversationScroll_ = NewScrollWindow();
    conversationPane_->PackStart(conversationScroll_, true, true, 1);
    conversationPane_->RegisterCallBack("expose-event", G_CALLBACK(&CScanSelectedDetail::DrawPaneSeparator), this,
                                        true);
    panes_[2]->PackEnd(conversationPane_, false, false, 0);
    conversationPane_->ShowAll();
    conversationPane_->NoShowAll(1);
}

void CScanSelectedDetail::ShowContactCard(unsigned id, unsigned, IContactData* contact) {
    cardPane_->Show();
    if (!contact) return;
    SetCardName(ShownName(contact, id));
    // The separator under the header follows it down when the name takes more lines.
    gtk_widget_queue_draw(cardPane_->GetWidget());
    IConactItem* photo = contact->GetPhoto();
    SetCardAvatar(photo);
    if (photo) photo->Release();
    FillCardFields(contact);
}

void CScanSelectedDetail::SetCardName(const std::string& name) {
    // The name is the phone's text: escaped before it goes into markup.
    cardName_->SetLabelMarkText(WithoutHyphens(Span(EscapeMarkup(CU8String(name.c_str()).str()),
                                                    RgbColour(20, 20, 20), "Arial 24px"))
                                    .c_str());
}

void CScanSelectedDetail::SetCardAvatar(IConactItem* item) {
    if (avatar_) g_object_unref(avatar_);
    const char* bytes = item ? item->GetValue() : nullptr;
    const int length = item ? item->GetLength() : 0;
    avatar_ = LoadScaledPixbuf(bytes, bytes && length > 0 ? static_cast<size_t>(length) : 0, Res("icon_contacts_b.png"),
                               kAvatarSide, kAvatarSide);
    gtk_widget_queue_draw(avatarBox_->GetWidget());
}

void CScanSelectedDetail::FillCardFields(IContactData* contact) {
    cardFields_ = ReplaceScrolledBox(cardScroll_, cardFields_);
    const std::string splitter = GetLangString("IDS_STRING_SPLITOR");
    for (IConactItem* item = contact->FirstItem(); item; item = contact->NextItem()) {
        const int resId = item->GetResId();
        std::string label;
        if (resId == -1) label = CU8String(item->GetLabel()).str();
        else label = CU8String::FromLocale(CUIPublic::Instance()->GetTypeName(resId).c_str()).str();
        label += splitter;
        const std::string value = CU8String(item->GetValue()).str();
        item->Release();

        // Label and value each wrap in their column: the card shows a long number, address or
        // custom label whole, a line under another.
        GtkWidget* row = gtk_hbox_new(FALSE, 0);
        GtkWidget* inner = gtk_hbox_new(FALSE, 0);
        gtk_box_pack_start(GTK_BOX(cardFields_), row, FALSE, FALSE, 8);
        gtk_box_pack_start(GTK_BOX(row), inner, TRUE, TRUE, kFieldPadding);
        GtkWidget* labelWidget =
            NewWrappedLabel(Span(EscapeMarkup(label), RgbColour(100, 100, 100), "Arial 12px"), kFieldLabelWidth);
        GtkWidget* valueWidget =
            NewWrappedLabel(Span(EscapeMarkup(value), RgbColour(42, 42, 42), "Arial 12px"),
                            CardWidth() - 2 * kFieldPadding - kFieldLabelWidth - kScrollBarRoom);
        gtk_box_pack_start(GTK_BOX(inner), labelWidget, FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(inner), valueWidget, TRUE, TRUE, 0);
    }
    gtk_widget_show_all(cardFields_);
}

void CScanSelectedDetail::ClearConversation() {
    // The bubbles' wrappers go first: each takes its widget out of the box.
    bubbles_.clear();
}

void CScanSelectedDetail::ShowConversation(unsigned, unsigned, ISMSSession* session) {
    conversationPane_->Show();
    ClearConversation();
    conversationBox_ = ReplaceScrolledBox(conversationScroll_, conversationBox_);
    if (!session) return;
    for (ISMSData* message = session->FirstData(); message; message = session->NextData()) {
        CBPBox row(true, false, 0);
        row.SetDestroyWidgetWhenDelete(0);
        gtk_box_pack_start(GTK_BOX(conversationBox_), row.GetWidget(), FALSE, FALSE, 10);
        AddMessageDate(&row, message);
        AddMessageBubble(&row, message);
        message->Release();
    }
    gtk_widget_show_all(conversationBox_);
}

void CScanSelectedDetail::AddMessageDate(CBPBox* row, ISMSData* message) {
    std::tm local{};
    std::string text;
    // As the conversation's text file has it: no date is a date unknown, not the epoch.
    if (message->GetDate() <= 0) {
        text = GetLangString("DATE_UNKNOWN");
    } else if (platform::LocalCalendarTime(message->GetDate(), &local)) {
        BPSystemTime time;
        time.year = local.tm_year + 1900;
        time.month = local.tm_mon + 1;
        time.dayOfWeek = local.tm_wday;
        time.day = local.tm_mday;
        time.hour = local.tm_hour;
        time.minute = local.tm_min;
        time.second = local.tm_sec;
        text = IBPDateTime::TransSystemDateToString(time) + "  " + IBPDateTime::TransSystemTimeToString(time, 1);
    }
    GtkWidget* label = gtk_label_new("");
    gtk_label_set_markup(GTK_LABEL(label), Span(EscapeMarkup(text), RgbColour(149, 149, 149), "Arial 12px").c_str());
    gtk_misc_set_alignment(GTK_MISC(label), message->GetSend() ? 0.9f : 0.1f, 0.5f);
    row->PackStart(label, false, false, 0);
}

void CScanSelectedDetail::AddMessageBubble(CBPBox* row, ISMSData* message) {
    ISMSItem* item = message->FirstItem();
    if (!item) return;
    std::vector<ImageItem> entries;
    for (; item; item = message->NextItem()) {
        const char* data = item->GetData();
        switch (item->GetType()) {
            case 1: {
                // Built as a text whatever it says: a phone's text never names a file to read here.
                ImageItem text;
                text.text = EscapeMarkup(CU8String(data ? data : "").str());
                entries.push_back(text);
                break;
            }
            case 2:
                entries.emplace_back(data, data && item->GetLength() > 0 ? static_cast<size_t>(item->GetLength()) : 0,
                                     0.5f);
                break;
            case 3: entries.emplace_back(Res("audio_icon.png"), 0.5f); break;
            case 4: entries.emplace_back(Res("vedio_icon.png"), 0.5f); break;
            case 5: entries.emplace_back(Res("other_icon.png"), 0.5f); break;
            default: break;
        }
        item->Release();
    }
    auto* bubble = new CMsgBubble;
    bubbles_.emplace_back(bubble);
    ImageItem icon;
    if (message->IsFailed()) {
        icon = ImageItem(Res("icon_warning.png"), 0.5f);
        bubble->SetFailedFlag(1);
    }
    bubble->SetImage(icon, entries);
    const int width = Config()->GetKeyValueInt("ScanMain", "MsgBubbleWidth");
    const bool sent = message->GetSend() != 0;
    const double offset = sent ? width / 2 - 20 : -(width / 2 - 20);
    // Only a deleted message is drawn half transparent.
    if (message->IsDeleted()) bubble->SetDeleted(1);
    bubble->SetReceived(sent ? 0 : 1);
    bubble->SetArrowPosition(1);
    bubble->SetArrowOffset(offset);
    GtkWidget* line = gtk_hbox_new(FALSE, 0);
    if (sent) gtk_box_pack_end(GTK_BOX(line), bubble->GetWidget(), FALSE, FALSE, 10);
    else gtk_box_pack_start(GTK_BOX(line), bubble->GetWidget(), FALSE, FALSE, 10);
    row->PackStart(line, false, false, 0);
}

gboolean CScanSelectedDetail::DrawAvatar(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    GdkPixbuf* avatar = static_cast<CScanSelectedDetail*>(self)->avatar_;
    if (!avatar || !GDK_IS_PIXBUF(avatar)) return FALSE;
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    cairo_t* cr = cairo.GetCairo();
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    CBPDrawRoundRectangle::AddPath(cr, area.x, area.y, area.width, area.height, 10);
    cairo_clip(cr);
    // The picture fills the box.
    cairo_translate(cr, area.x, area.y);
    cairo_scale(cr, static_cast<double>(area.width) / gdk_pixbuf_get_width(avatar),
                static_cast<double>(area.height) / gdk_pixbuf_get_height(avatar));
    gdk_cairo_set_source_pixbuf(cr, avatar, 0, 0);
    cairo_paint(cr);
    return FALSE;
}

gboolean CScanSelectedDetail::DrawPaneSeparator(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return FALSE;
    cairo_t* cr = cairo.GetCairo();
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgb(cr, 186 / 255.0, 186 / 255.0, 186 / 255.0);
    cairo_move_to(cr, area.x + 0.5, area.y);
    cairo_line_to(cr, area.x + 0.5, area.y + area.height);
    cairo_stroke(cr);
    auto* pane = static_cast<CScanSelectedDetail*>(self);
    if (pane->category_ == 1 && pane->cardHeader_) {
        GtkAllocation header;
        gtk_widget_get_allocation(pane->cardHeader_, &header);
        const int top = std::max(kSeparatorTop, header.y + header.height - area.y - 2);
        cairo_set_source_rgb(cr, 230 / 255.0, 230 / 255.0, 230 / 255.0);
        cairo_move_to(cr, area.x + 20, area.y + top);
        cairo_line_to(cr, area.x + 205, area.y + top - 1);
        cairo_stroke(cr);
    }
    return FALSE;
}
