// The message bubble: its layout sizes, colours by state, and the pictures its entries share.
#include <gtest/gtest.h>

#include "gui/pages/tests/PageTestSupport.h"
#include "gui/pages/tests/ScanDetailFakes.h"
#include "gui/shell/MsgBubble.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"

namespace {

constexpr int kWidth = 220;  // [ScanMain] MsgBubbleWidth

ImageItem Picture(int width, int height) {
    const std::string bytes = PngBytes(width, height, 0x808080);
    return ImageItem(bytes.data(), bytes.size(), 0.5f);
}

void Requested(CMsgBubble& bubble, int* width, int* height) { gtk_widget_get_size_request(bubble.GetWidget(), width, height); }

TEST(MsgBubble, LayoutSizes) {
    int width = 0, height = 0;
    CMsgBubble empty;
    empty.SetImage(ImageItem(), {});
    Requested(empty, &width, &height);
    EXPECT_EQ(width, kWidth);
    EXPECT_EQ(height, 30);

    CMsgBubble pictures;
    pictures.SetImage(ImageItem(), {Picture(80, 100), Picture(120, 100)});
    Requested(pictures, &width, &height);
    EXPECT_EQ(height, 230);

    // A picture file wider than the room is narrowed, its height scaled by the same factor.
    const std::string file = MakeTempFolder() + "/wide.png";
    const std::string bytes = PngBytes(400, 101, 0x808080);
    WriteText(file, bytes);
    CMsgBubble wide;
    wide.SetImage(ImageItem(), {ImageItem(file, 1.0f)});
    ASSERT_EQ(wide.Entries().size(), 1u);
    EXPECT_EQ(wide.Entries()[0].width, kWidth - 20);
    EXPECT_EQ(wide.Entries()[0].height, 50);  // trunc(101 * 200 / 400)
    Requested(wide, &width, &height);
    EXPECT_EQ(height, 80);

    // A text that names no picture is measured wrapped at the room it has.
    CMsgBubble text;
    text.SetFailedFlag(1);
    text.SetImage(ImageItem("no such picture", 1.0f), {ImageItem("a few words &amp; more", 1.0f)});
    ASSERT_EQ(text.Entries()[0].isImage, 0);
    EXPECT_EQ(text.Entries()[0].width, kWidth - 25);
    Requested(text, &height, &height);
    EXPECT_GT(height, 30);
}

TEST(MsgBubble, ColoursByState) {
    struct Case {
        int received, deleted, highlighted;
        guint32 fill, outline;
    } cases[] = {
        {0, 0, 0, 0xDEF8FD, 0xCDCDCD},
        {1, 0, 0, 0xF3F3F3, 0xCDCDCD},
        {1, 1, 0, 0xFF4000, 0x24721F},
        {1, 1, 1, 0xB3FE9A, 0x24721F},
    };
    auto hex = [](GdkColor c) { return static_cast<guint32>((c.red & 0xFF) << 16 | (c.green & 0xFF) << 8 | (c.blue & 0xFF)); };
    for (const Case& c : cases) {
        CMsgBubble bubble;
        bubble.SetReceived(c.received);
        if (c.deleted) bubble.SetDeleted(1);
        bubble.SetHighlighted(c.highlighted);
        EXPECT_EQ(hex(bubble.FillColour()), c.fill);
        EXPECT_EQ(hex(bubble.OutlineColour()), c.outline);
        EXPECT_DOUBLE_EQ(bubble.GetAlpha(), c.deleted ? 0.5 : 1.0);
    }

    // On the screen: a sent bubble is filled with its colour.
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* box = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    CMsgBubble sent;
    sent.SetImage(ImageItem(), {});
    gtk_box_pack_start(GTK_BOX(box), sent.GetWidget(), FALSE, FALSE, 0);
    gtk_widget_show_all(window);
    ASSERT_TRUE(WaitShown(window));
    Settle();
    EXPECT_EQ(PixelAt(sent.GetWidget(), kWidth / 2, 20), 0xDEF8FDu);
    gtk_widget_destroy(window);
}

TEST(MsgBubble, AssignedEntriesShareThePictureSafely) {
    ImageItem first = Picture(10, 10);
    ASSERT_NE(first.pixbuf, nullptr);
    {
        ImageItem second;
        second = first;
        EXPECT_EQ(second.pixbuf, first.pixbuf);
        EXPECT_EQ(G_OBJECT(first.pixbuf)->ref_count, 2u);
        ImageItem copy(first);
        EXPECT_NE(copy.pixbuf, first.pixbuf);
    }
    EXPECT_EQ(G_OBJECT(first.pixbuf)->ref_count, 1u);
    first.Clear();
    EXPECT_EQ(first.pixbuf, nullptr);
    EXPECT_EQ(first.width, 0);
}

}  // namespace
