#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <pango/pangocairo.h>

#include <memory>
#include <string>
#include <vector>

#include "gui/shell/CUIPublic.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "outside/widgets/CBPCairoImgButton.h"

namespace {

// The colour of one pixel of a shown widget's window, once what is pending is painted (a read
// before the first paint would keep it from happening).
guint32 PixelAt(GtkWidget* widget, int x, int y) {
    gdk_window_process_all_updates();
    GtkAllocation area;
    gtk_widget_get_allocation(widget, &area);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(widget), nullptr, area.x + x,
                                                   area.y + y, 0, 0, 1, 1);
    if (!shot) return 0xFFFFFFFF;
    const guchar* p = gdk_pixbuf_get_pixels(shot);
    guint32 rgb = (p[0] << 16) | (p[1] << 8) | p[2];
    g_object_unref(shot);
    return rgb;
}

}  // namespace

class DisplayServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(gtk_init_check(nullptr, nullptr)); }
};

TEST_F(DisplayServicesTest, ImageButtonsPaintThePictureOfTheirState) {
    CUIPublic services("../res/", false);
    // Normal: the empty box; over: ticked; pressed: half; disabled: missing, so the normal one.
    std::unique_ptr<CBPCairoImgButton> button(CUIPublic::MakeImageButton(
        "../res/Unselected.png", "../res/Selected.png", "../res/HalfSelected.png", "../res/missing.png"));
    button->SetTip("Close", " ");
    EXPECT_EQ(button->Tip(), "Close");
    button->SetTip("Close", "the window");
    EXPECT_EQ(button->Tip(), "Close\nthe window");
    EXPECT_EQ(button->ImageFor(GTK_STATE_INSENSITIVE), button->ImageFor(GTK_STATE_NORMAL));
    EXPECT_NE(button->ImageFor(GTK_STATE_PRELIGHT), button->ImageFor(GTK_STATE_NORMAL));

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_fixed_new();
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_fixed_put(GTK_FIXED(box), button->GetWidget(), 10, 10);
    gtk_widget_show_all(window);
    ASSERT_TRUE(PumpUntil([&] {
        GtkAllocation area;
        gtk_widget_get_allocation(button->GetWidget(), &area);
        return gtk_widget_get_mapped(button->GetWidget()) && area.width == 16 && PixelAt(button->GetWidget(), 5, 5) == 0xFFFFFF;
    })) << std::hex << PixelAt(button->GetWidget(), 5, 5);  // inside the empty box

    gtk_widget_set_state(button->GetWidget(), GTK_STATE_ACTIVE);
    EXPECT_TRUE(PumpUntil([&] { return PixelAt(button->GetWidget(), 5, 5) == 0x0AA2D2; }));  // the half mark

    GtkRequisition size;
    gtk_widget_size_request(button->GetWidget(), &size);
    EXPECT_EQ(size.width, 16);
    EXPECT_EQ(CUIPublic::ResetSizeRequest(button.get()), 1);
    int w = 0, h = 0;
    gtk_widget_get_size_request(button->GetWidget(), &w, &h);
    EXPECT_EQ(w, -1);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(CUIPublic::ResetSizeRequest(nullptr), 0);

    button.reset();  // destroys its widget
    gtk_widget_destroy(window);
}

// The display tests draw text with the fonts the project installs alone, whatever the machine has
// besides (Liberation Sans, Nimbus Sans): pixels and sizes come out alike everywhere.
TEST_F(DisplayServicesTest, TextIsDrawnWithThePackagedFontAlone) {
    // Every family there is (the toolkit's generic ones among them) and those a machine may have.
    PangoFontMap* map = pango_cairo_font_map_get_default();
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_font_map_list_families(map, &families, &count);
    std::vector<std::string> requests = {"Arial 12px", "Arial bold 12px", "Liberation Sans 12px", "Nimbus Sans 12px"};
    for (int i = 0; i < count; ++i) requests.push_back(std::string(pango_font_family_get_name(families[i])) + ", 10");
    g_free(families);

    PangoContext* context = pango_font_map_create_context(map);
    for (const std::string& text : requests) {
        const char* asked = text.c_str();
        PangoFontDescription* wanted = pango_font_description_from_string(asked);
        PangoFont* font = pango_font_map_load_font(map, context, wanted);
        ASSERT_NE(font, nullptr) << asked;
        PangoFontDescription* got = pango_font_describe(font);
        EXPECT_STREQ(pango_font_description_get_family(got), "DejaVu Sans") << asked;
        EXPECT_EQ(pango_font_description_get_weight(got), pango_font_description_get_weight(wanted)) << asked;
        pango_font_description_free(got);
        g_object_unref(font);
        pango_font_description_free(wanted);
    }
    g_object_unref(context);
}
