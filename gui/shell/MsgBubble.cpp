#include "gui/shell/MsgBubble.h"

#include <pango/pangocairo.h>

#include <algorithm>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MarkupHelpers.h"
#include "gui/shell/Painters.h"
#include "outside/widgets/CBPCairo.h"
#include "outside/widgets/CBPIniParser.h"

namespace {

constexpr int kEntryGap = 3;
constexpr int kContentTop = 17;
constexpr int kContentLeft = 10;
constexpr int kIconMostWidth = 15;

const char* TextFont() { return GetTextInDomain("Arial 13px"); }

void PaintPixbuf(cairo_t* cr, GdkPixbuf* pixbuf, double x, double y, double scale) {
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, scale, scale);
    gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

}  // namespace

ImageItem::ImageItem(const std::string& text, float factor) : text(text), factor(factor) {
    isImage = GetImageFileSize(text, &width, &height) ? 1 : 0;
}

ImageItem::ImageItem(const void* bytes, size_t length, float factor) : isImage(1), factor(factor) {
    pixbuf = LoadScaledPixbuf(bytes, length, CUIPublic::Instance()->ResFolder() + "default_img.png", 128, 128);
    if (pixbuf) {
        width = gdk_pixbuf_get_width(pixbuf);
        height = gdk_pixbuf_get_height(pixbuf);
    }
}

ImageItem::ImageItem(const ImageItem& other)
    : isImage(other.isImage), scale(other.scale), width(other.width), height(other.height), text(other.text),
      pixbuf(other.pixbuf ? gdk_pixbuf_copy(other.pixbuf) : nullptr), factor(other.factor) {}

// Both items release the picture they hold, so the shared one gets a reference of its own.
ImageItem& ImageItem::operator=(const ImageItem& other) {
    if (this == &other) return *this;
    if (other.pixbuf) g_object_ref(other.pixbuf);
    if (pixbuf) g_object_unref(pixbuf);
    isImage = other.isImage;
    scale = other.scale;
    width = other.width;
    height = other.height;
    text = other.text;
    pixbuf = other.pixbuf;
    factor = other.factor;
    return *this;
}

ImageItem::~ImageItem() {
    if (pixbuf) g_object_unref(pixbuf);
}

void ImageItem::Clear() { *this = ImageItem(); }

void ImageItem::SetWidth(int newWidth, const char* font) {
    if (isImage) {
        if (pixbuf || width == 0) return;
        scale = static_cast<double>(newWidth) / width;
        width = newWidth;
        height = static_cast<int>(height * scale);
        return;
    }
    // Measured as it is drawn: wrapped without hyphens.
    if (!font) return;
    MeasureMarkup(WithoutHyphens(MakeSpanMarkup(text, nullptr, font, nullptr, true)).c_str(), &width, &height,
                  newWidth);
    width = newWidth;
}

CMsgBubble::CMsgBubble() {
    SetVisibleWindow(false);
    RegisterCallBack("expose-event", G_CALLBACK(&CMsgBubble::OnExpose), this);
}

CMsgBubble::~CMsgBubble() { g_signal_handlers_disconnect_by_data(GetWidget(), this); }

void CMsgBubble::SetImage(const ImageItem& icon, const std::vector<ImageItem>& entries) {
    icon_ = icon;
    entries_.insert(entries_.end(), entries.begin(), entries.end());
    Layout();
}

void CMsgBubble::SetArrowPosition(int place) {
    place_ = place;
    gtk_widget_queue_draw(GetWidget());
}

void CMsgBubble::SetArrowOffset(double offset) {
    offset_ = offset;
    gtk_widget_queue_draw(GetWidget());
}

void CMsgBubble::SetDeleted(int deleted) {
    deleted_ = deleted;
    alpha_ = 0.5;
    gtk_widget_queue_draw(GetWidget());
}

GdkColor CMsgBubble::FillColour() const {
    if (highlighted_) return RgbColour(179, 254, 154);
    if (deleted_) return RgbColour(255, 64, 0);
    if (received_) return RgbColour(243, 243, 243);
    return RgbColour(222, 248, 253);
}

GdkColor CMsgBubble::OutlineColour() const {
    if (highlighted_ || deleted_) return RgbColour(36, 114, 31);
    return RgbColour(205, 205, 205);
}

void CMsgBubble::Layout() {
    // The height follows from the entries; only a width already asked for replaces the configured one.
    int W = CUIPublic::Instance()->GetConfig()->GetKeyValueInt("ScanMain", "MsgBubbleWidth");
    int requestedWidth = -1;
    GetWidgetSize(&requestedWidth, nullptr);
    if (requestedWidth != -1) W = requestedWidth;
    int total = 0;
    const int n = static_cast<int>(entries_.size());
    if (n > 0) {
        const double margin = HasIcon() ? 25.0 : 20.0;
        const int gaps = n < 2 ? 0 : kEntryGap * n - kEntryGap;
        const int available = static_cast<int>(W - margin - gaps);
        int lastPictureWidth = 0;
        std::vector<ImageItem*> texts;
        for (ImageItem& entry : entries_) {
            if (!entry.isImage) {
                texts.push_back(&entry);
                continue;
            }
            if (entry.width > available) entry.SetWidth(available, "");
            lastPictureWidth = entry.width;
            total += entry.height;
        }
        const int m = static_cast<int>(texts.size());
        if (m > 0) {
            const int textWidth = stacked_ ? available : (available - lastPictureWidth - (n - m) * kEntryGap) / m;
            for (ImageItem* text : texts) {
                text->SetWidth(textWidth, TextFont());
                total = stacked_ ? total + text->height : std::max(total, text->height);
            }
        }
    }
    gtk_widget_set_size_request(GetWidget(), W, total + 30);
}

void CMsgBubble::SetTextLayout(PangoLayout* layout, const ImageItem& entry) {
    pango_layout_set_width(layout, entry.width * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    pango_layout_set_markup(layout, WithoutHyphens(MakeSpanMarkup(entry.text, nullptr, TextFont(), nullptr, true)).c_str(),
                            -1);
}

gboolean CMsgBubble::OnExpose(GtkWidget* widget, GdkEventExpose*, gpointer self) {
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    static_cast<CMsgBubble*>(self)->Paint(area);
    return FALSE;
}

void CMsgBubble::Paint(const GtkAllocation& area) {
    GtkWidget* widget = GetWidget();
    DrawCallout(widget, place_ < 0 ? CALLOUT_NONE : static_cast<unsigned>(place_), FillColour(), OutlineColour(), nullptr,
                alpha_, offset_, radius_, pointerSize_);
    CBPCairo cairo(widget);
    if (!cairo.IsValid()) return;
    cairo_t* cr = cairo.GetCairo();
    const double left = area.x + kContentLeft + (received_ ? pointerSize_ : 0.0);
    int cursor = 0;
    for (const ImageItem& entry : entries_) {
        if (entry.isImage) {
            GdkPixbuf* picture = nullptr;
            if (entry.pixbuf) picture = GDK_PIXBUF(g_object_ref(entry.pixbuf));
            else if (entry.scale < 1.0 || entry.scale > 1.00001)
                picture = gdk_pixbuf_new_from_file_at_scale(entry.text.c_str(), entry.width, entry.height, FALSE, nullptr);
            else picture = gdk_pixbuf_new_from_file(entry.text.c_str(), nullptr);
            if (picture) {
                PaintPixbuf(cr, picture, left, area.y + cursor + kContentTop, 1.0);
                g_object_unref(picture);
            }
        } else {
            // Texts are markup (escaped phone texts): drawn in the same span they were measured in.
            PangoLayout* layout = pango_cairo_create_layout(cr);
            SetTextLayout(layout, entry);
            cairo_set_source_rgb(cr, 42 / 255.0, 42 / 255.0, 42 / 255.0);
            cairo_move_to(cr, area.x + kContentLeft, area.y + kContentTop + cursor);
            pango_cairo_show_layout(cr, layout);
            g_object_unref(layout);
        }
        cursor += entry.height + kEntryGap;
    }
    if (!HasIcon()) return;
    GdkPixbuf* icon = icon_.pixbuf ? GDK_PIXBUF(g_object_ref(icon_.pixbuf))
                                   : gdk_pixbuf_new_from_file(icon_.text.c_str(), nullptr);
    if (!icon) return;
    const double iconWidth = gdk_pixbuf_get_width(icon), iconHeight = gdk_pixbuf_get_height(icon);
    const double s = iconWidth > kIconMostWidth ? kIconMostWidth / iconWidth : 1.0;
    const double factor = icon_.factor;
    PaintPixbuf(cr, icon, area.x + area.width - iconWidth * s - 1,
                area.y + area.height * factor - factor * iconHeight * s + pointerSize_ + radius_, s);
    g_object_unref(icon);
}
