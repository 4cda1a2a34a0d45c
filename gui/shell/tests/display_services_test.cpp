#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <memory>
#include <string>

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
