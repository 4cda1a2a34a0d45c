// The scan page's detail view in a window, over containers the test fills as the libraries do:
// draining through the notification centre, the counts, the rows, the rebuilds of only-deleted and
// search, the ticks that reach the bottom bar, the picture grids, the contact card, the
// conversation and the pane going while drains wait.
#include <gdk/gdkkeysyms.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/tests/PageTestSupport.h"
#include "gui/pages/tests/ScanDetailFakes.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MsgBubble.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPListTreeview.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

constexpr unsigned kNewContacts = 0x0204000F, kNewMessages = 0x02040010, kNewFiles = 0x02040011;
constexpr unsigned kOnlyDeletedOn = 0x02040017, kOnlyDeletedOff = 0x02040018;
constexpr guint32 kDeletedColour = 0xE86106;

class DetailEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const ScratchTree tree = MakeScratchTree();
        ASSERT_EQ(chdir(tree.bin.c_str()), 0);
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
        CNotifyCentor::Instance();
    }
};
const auto* g_environment = ::testing::AddGlobalTestEnvironment(new DetailEnvironment);

std::string PlainOf(const std::string& markup) {
    gchar* text = nullptr;
    if (!pango_parse_markup(markup.c_str(), -1, 0, nullptr, &text, nullptr, nullptr)) return "(bad markup)";
    std::string plain = text;
    g_free(text);
    return plain;
}

struct Row {
    std::string text2, text3, text4;
    bool trash;
    int check;
    unsigned id;
};

std::vector<Row> RowsOf(CBPListTreeview* list) {
    std::vector<Row> rows;
    GtkTreeModel* model = GTK_TREE_MODEL(list->GetStore());
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        gchar *t2 = nullptr, *t3 = nullptr, *t4 = nullptr;
        GdkPixbuf* trash = nullptr;
        guint id = 0;
        gtk_tree_model_get(model, &iter, 1, &trash, 2, &t2, 3, &t3, 4, &t4, 5, &id, -1);
        rows.push_back({PlainOf(t2), PlainOf(t3), PlainOf(t4), trash != nullptr, list->GetCheckState(&iter), id});
        g_free(t2);
        g_free(t3);
        g_free(t4);
        if (trash) g_object_unref(trash);
    }
    return rows;
}

// The counts the pane left with the notification centre for the tree.
std::pair<uint32_t, uint32_t> PostedCounts(unsigned id) {
    uint32_t pair[2] = {0xFFFFFFFF, 0xFFFFFFFF};
    void* buffer = pair;
    unsigned length = sizeof pair;
    CNotifyCentor::Instance()->GetPayload(id, &buffer, &length);
    return {pair[0], pair[1]};
}

// Whether a pixel of the colour (or near it, as a text's strokes are) lies in the cell of the list's
// row and column.
bool CellHasColour(CBPListTreeview* list, int row, int column, guint32 rgb) {
    GtkTreeView* view = GTK_TREE_VIEW(list->GetTreeView());
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    GdkRectangle cell;
    gtk_tree_view_get_cell_area(view, path, gtk_tree_view_get_column(view, column), &cell);
    gtk_tree_path_free(path);
    gdk_window_process_all_updates();
    gdk_flush();
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gtk_tree_view_get_bin_window(view), nullptr, cell.x, cell.y,
                                                   0, 0, cell.width, cell.height);
    if (!shot) return false;
    bool found = false;
    const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
    for (int y = 0; y < cell.height && !found; ++y)
        for (int x = 0; x < cell.width && !found; ++x) {
            const guchar* p = gdk_pixbuf_get_pixels(shot) + y * stride + x * channels;
            found = IsNearColour(static_cast<guint32>(p[0] << 16 | p[1] << 8 | p[2]), rgb);
        }
    g_object_unref(shot);
    return found;
}

// The date shown over the conversation's first message; empty without one.
std::string DateShown(CScanSelectedDetail* detail) {
    std::string date;
    GList* rows = detail->GetConversationBox() ? gtk_container_get_children(GTK_CONTAINER(detail->GetConversationBox()))
                                               : nullptr;
    if (rows) {
        GList* parts = gtk_container_get_children(GTK_CONTAINER(rows->data));
        if (parts && GTK_IS_LABEL(parts->data)) date = gtk_label_get_text(GTK_LABEL(parts->data));
        g_list_free(parts);
    }
    g_list_free(rows);
    return date;
}

// The first text of the list's selected row.
std::string SelectedText(CBPListTreeview* list) {
    GtkTreeModel* model = nullptr;
    GtkTreeIter iter;
    if (!gtk_tree_selection_get_selected(gtk_tree_view_get_selection(GTK_TREE_VIEW(list->GetTreeView())), &model, &iter))
        return std::string();
    gchar* markup = nullptr;
    gtk_tree_model_get(model, &iter, 2, &markup, -1);
    const std::string text = PlainOf(markup ? markup : "");
    g_free(markup);
    return text;
}

// A key pressed and released in the list, as the keyboard does it.
bool PressKey(CBPListTreeview* list, guint key) {
    GtkWidget* view = list->GetTreeView();
    gtk_widget_grab_focus(view);
    const bool sent = gtk_test_widget_send_key(view, key, GdkModifierType(0));
    Settle();
    return sent;
}

// The pane and the bottom bar in a window, over the test's containers.
struct DetailFixture {
    FakeController controller;
    CScanSelectedDetail* detail;
    CScanSelectedBottom* bar = new CScanSelectedBottom;
    GtkWidget* window;

    DetailFixture() {
        CUIPublic::Instance()->SetLogicalController(&controller);
        detail = new CScanSelectedDetail;
        window = ShowDetailWindow(detail, bar);
        EXPECT_NE(window, nullptr);
    }
    ~DetailFixture() {
        delete detail;
        delete bar;
        gtk_widget_destroy(window);
        CUIPublic::Instance()->SetLogicalController(nullptr);
    }
    // Posts the new-items message and waits until the pane has drained it.
    template <class C>
    bool Drain(unsigned id, C& container) {
        CNotifyCentor::Instance()->Notify(id, nullptr, 0);
        return PumpUntil([&] {
            autolocker<C*> lock(&container);
            return container.FreshCount() == 0 && detail->PendingDrains() == 0;
        });
    }
    void Rebuild(unsigned onlyDeletedMessage) {
        CNotifyCentor::Instance()->Notify(onlyDeletedMessage, nullptr, 0);
        CNotifyCentor::Instance()->DeliverPending();
    }
    bool Shot(const std::string& name) {
        Settle();
        return SaveWindowScreenshot(name, window, 0);
    }
};

FakeContact* Contact(const std::string& name, const std::string& phone, bool deleted) {
    auto* contact = new FakeContact;
    contact->name = name;
    contact->phone = phone;
    contact->email = name.empty() ? "" : "mail@example.org";
    contact->deleted = deleted;
    return contact;
}

TEST(ScanDetail, ContactsDrainCountsOnlyRecordsWithContactsAndPutsDeletedRowsFirst) {
    DetailFixture f;
    std::unique_ptr<FakeContact> alice(Contact("Alice", "+49 30 1234", false));
    std::unique_ptr<FakeContact> bob(Contact("Bob <&> Co", "555\n0199", true));
    f.controller.AddContact(alice.get());
    f.controller.AddContact(bob.get());
    f.controller.AddContact(nullptr);  // a record whose contact could not be made
    ASSERT_TRUE(f.Drain(kNewContacts, f.controller.contacts));

    auto rows = RowsOf(f.detail->GetList(1));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text2, "Bob <&> Co");
    EXPECT_TRUE(rows[0].trash);
    EXPECT_EQ(rows[1].text2, "Alice");
    EXPECT_EQ(rows[1].text3, "+49 30 1234");
    EXPECT_EQ(rows[1].text4, "mail@example.org");
    EXPECT_FALSE(rows[1].trash);
    EXPECT_EQ(f.detail->GetCounts(1).total, 2u);
    EXPECT_EQ(f.detail->GetCounts(1).deleted, 1u);
    EXPECT_EQ(PostedCounts(0x0404000F), std::make_pair(2u, 1u));
    // The first row's card is shown, its name escaped into the markup.
    EXPECT_TRUE(gtk_widget_get_visible(f.detail->GetCardPane()->GetWidget()));
    EXPECT_STREQ(f.detail->GetCardName()->GetLabelText(), "Bob <&> Co");
    Settle();
    EXPECT_TRUE(CellHasColour(f.detail->GetList(1), 0, 2, kDeletedColour));
    EXPECT_FALSE(CellHasColour(f.detail->GetList(1), 1, 2, kDeletedColour));
    EXPECT_EQ(alice->itemsAlive + bob->itemsAlive, 0);

    // A later drain adds to the counts; a rebuild of the category does not.
    std::unique_ptr<FakeContact> carl(Contact("Carl", "1", true));
    f.controller.AddContact(carl.get());
    ASSERT_TRUE(f.Drain(kNewContacts, f.controller.contacts));
    EXPECT_EQ(f.detail->GetCounts(1).total, 3u);
    EXPECT_EQ(f.detail->GetCounts(1).deleted, 2u);
    f.Rebuild(kOnlyDeletedOff);
    EXPECT_EQ(RowsOf(f.detail->GetList(1)).size(), 3u);
    EXPECT_EQ(f.detail->GetCounts(1).total, 3u);
    EXPECT_TRUE(f.Shot("scan_detail_contacts"));
}

TEST(ScanDetail, OnlyDeletedAndSearchRebuildTheCategoryAndTicksReachTheBar) {
    DetailFixture f;
    std::unique_ptr<FakeContact> alice(Contact("Alice", "1", false)), alina(Contact("Alina", "2", true)),
        bob(Contact("Bob", "3", true));
    const unsigned aliceId = f.controller.AddContact(alice.get());
    const unsigned alinaId = f.controller.AddContact(alina.get());
    const unsigned bobId = f.controller.AddContact(bob.get());
    ASSERT_TRUE(f.Drain(kNewContacts, f.controller.contacts));
    f.detail->SetCategory(1);

    // Check-all ticks every record, and the bar counts them.
    f.detail->GetList(1)->SetAllChecked(2);
    EXPECT_EQ(f.bar->GetSelectedCount(), 3);
    for (unsigned id : {aliceId, alinaId, bobId}) EXPECT_EQ(f.controller.Check(id, 1), 2u);

    // A search rebuilds with the matching records; what it hides is no longer ticked.
    f.controller.contacts.SetKeyword("ali");
    f.Rebuild(kOnlyDeletedOff);
    auto rows = RowsOf(f.detail->GetList(1));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].text2, "Alina");
    EXPECT_EQ(f.controller.Check(bobId, 1), 0u);
    EXPECT_EQ(f.controller.Check(aliceId, 1), 2u);
    EXPECT_EQ(f.bar->GetSelectedCount(), 2);
    EXPECT_TRUE(f.Shot("scan_detail_search"));

    // A single tick reaches the record and the bar.
    GtkTreePath* first = gtk_tree_path_new_first();
    f.detail->GetList(1)->ToggleRow(first);
    gtk_tree_path_free(first);
    EXPECT_EQ(f.controller.Check(alinaId, 1), 0u);
    EXPECT_EQ(f.bar->GetSelectedCount(), 1);

    // Only deleted: Alina alone; Alice loses her tick. Check-all then ticks only what is shown.
    f.Rebuild(kOnlyDeletedOn);
    EXPECT_EQ(f.detail->GetOnlyDeleted(), 1);
    rows = RowsOf(f.detail->GetList(1));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text2, "Alina");
    EXPECT_EQ(f.controller.Check(aliceId, 1), 0u);
    f.detail->GetList(1)->SetAllChecked(2);
    EXPECT_EQ(f.controller.Check(alinaId, 1), 2u);
    EXPECT_EQ(f.controller.Check(aliceId, 1), 0u);
    EXPECT_EQ(f.controller.Check(bobId, 1), 0u);
    EXPECT_EQ(f.bar->GetSelectedCount(), 1);

    // A category not marked is not rebuilt when it becomes current.
    f.controller.contacts.SetKeyword("");
    f.detail->SetCategory(2);
    f.detail->SetCategory(1);
    EXPECT_EQ(RowsOf(f.detail->GetList(1)).size(), 1u);
}

TEST(ScanDetail, ConversationRowsAndBubbles) {
    DetailFixture f;
    FakeSession empty, noParts, mms, text;
    empty.name = "Nobody";
    empty.number = "100";
    noParts.name = "Quiet";
    noParts.messages.push_back(FakeMessage());
    FakeMessage hello;
    hello.parts = {{1, "Hi <there> & you"}};
    hello.sent = true;
    hello.date = 1500000000;
    FakeMessage picture;
    picture.parts = {{2, PngBytes(300, 150, 0x3366CC)}, {3, "audio"}};
    picture.deleted = true;
    picture.date = 1500000100;
    FakeMessage failed = hello;
    failed.failed = true;
    mms.name = "Pic & Co";
    mms.number = "+1 555";
    mms.messages = {hello, failed, picture};
    // The one-line column: each line break (a run of CR and LF) is one blank.
    const std::pair<const char*, const char*> bodies[] = {
        {"two\r\nlines", "two lines"}, {"line1\n\nline3", "line1 line3"}, {"a\rb\n", "a b "}};
    FakeSession texts[3];
    for (int i = 0; i < 3; ++i) {
        texts[i].name = "Texter " + std::to_string(i);
        FakeMessage lines;
        lines.parts = {{1, bodies[i].first}};
        texts[i].messages = {lines};
    }
    f.controller.AddSession(&empty);
    f.controller.AddSession(&noParts);
    const unsigned mmsId = f.controller.AddSession(&mms);
    for (FakeSession& text : texts) f.controller.AddSession(&text);
    ASSERT_TRUE(f.Drain(kNewMessages, f.controller.sms));
    EXPECT_EQ(f.detail->GetCounts(2).total, 6u);
    EXPECT_EQ(f.detail->GetCounts(2).deleted, 1u);
    EXPECT_EQ(PostedCounts(0x04040010), std::make_pair(6u, 1u));

    f.detail->SetCategory(2);
    const std::string stand_in = GetLangString("DEFAULT_RECENT_MESSAGE");
    std::map<std::string, std::string> last;
    for (const Row& row : RowsOf(f.detail->GetList(2))) last[row.text2] = row.text4;
    EXPECT_EQ(last["Nobody"], stand_in);
    EXPECT_EQ(last["Quiet"], stand_in);
    EXPECT_EQ(last["Pic & Co"], stand_in);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(last["Texter " + std::to_string(i)], bodies[i].second) << bodies[i].first;
    EXPECT_EQ(RowsOf(f.detail->GetList(2))[0].text2, "Pic & Co");  // the deleted one first

    f.detail->ShowRecord(mmsId);
    GList* rows = gtk_container_get_children(GTK_CONTAINER(f.detail->GetConversationBox()));
    EXPECT_EQ(g_list_length(rows), 3u);
    g_list_free(rows);
    for (FakeSession* session : {&empty, &noParts, &mms, &texts[0], &texts[1], &texts[2]})
        EXPECT_EQ(session->alive, 0);
    EXPECT_TRUE(f.Shot("scan_detail_conversation"));
}

TEST(ScanDetail, FilesGoToTheirCategoriesAndTheGalleryLimitHolds) {
    DetailFixture f;
    const std::string red = PngBytes(64, 48, 0xCC2200);
    std::string large = PngBytes(200, 100, 0x22AA44);
    large.resize(70000, '\0');  // more than the first read takes
    const unsigned atLimit = f.controller.AddFile("limit.jpg", 524288000, false, red);
    f.controller.AddFile("over.jpg", 524288001, false, red);
    const unsigned deletedPicture = f.controller.AddFile("gone.png", large.size(), true, large);
    f.controller.AddFile("clip.mp4", 1000, false);
    f.controller.AddFile("song.mp3", 2048, true);
    f.controller.AddFile("notes.txt", 10, false);
    f.controller.AddFile("README", 3000, false);
    ASSERT_TRUE(f.Drain(kNewFiles, f.controller.files));

    EXPECT_EQ(f.detail->GetCounts(3).total, 2u);
    EXPECT_EQ(f.detail->GetCounts(3).deleted, 1u);
    EXPECT_EQ(f.detail->GetCounts(4).total, 1u);
    EXPECT_EQ(f.detail->GetCounts(5).deleted, 1u);
    EXPECT_EQ(f.detail->GetCounts(6).total, 2u);
    EXPECT_EQ(PostedCounts(0x04040012), std::make_pair(2u, 1u));
    EXPECT_EQ(PostedCounts(0x04040015), std::make_pair(2u, 0u));
    CBPImgGridList* gallery = f.detail->GetGrid(3);
    ASSERT_EQ(gallery->GetItemCount(), 2);
    unsigned id = 0;
    gallery->GetItem(0, &id, nullptr, nullptr);
    EXPECT_EQ(id, deletedPicture);
    gallery->GetItem(1, &id, nullptr, nullptr);
    EXPECT_EQ(id, atLimit);
    EXPECT_EQ(f.detail->GetGrid(4)->GetItemCount(), 1);
    std::map<std::string, std::string> formats;
    for (const Row& row : RowsOf(f.detail->GetList(6))) formats[row.text2] = row.text4;
    EXPECT_EQ(formats["notes.txt"], "txt");
    EXPECT_EQ(formats["README"], "");

    // Thumbnails of the pictures in sight are read: small ones from the first read, larger whole.
    f.detail->SetCategory(3);
    ASSERT_TRUE(PumpUntil([&] { return gallery->LoadedCount() == 2; }));
    EXPECT_GE(f.controller.job.wholeReads, 1);
    GdkPixbuf* thumbnail = CScanSelectedDetail::LoadThumbnail(atLimit, f.detail);
    ASSERT_NE(thumbnail, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(thumbnail), 64);
    EXPECT_EQ(gdk_pixbuf_get_pixels(thumbnail)[0], 0xCC);
    g_object_unref(thumbnail);
    EXPECT_TRUE(f.Shot("scan_detail_gallery"));

    // Ticks: the same tick twice counts once; never below 0.
    gallery->ToggleItem(1);
    EXPECT_EQ(f.controller.Check(atLimit, 3), 1u);
    EXPECT_EQ(f.bar->GetSelectedCount(), 1);
    CScanSelectedDetail::OnGridSelectionChanged(atLimit, 1, 0, f.detail);
    EXPECT_EQ(f.detail->GetGridTicks(3), 1);
    gallery->ToggleItem(1);
    CScanSelectedDetail::OnGridSelectionChanged(9999, 0, 0, f.detail);
    EXPECT_EQ(f.detail->GetGridTicks(3), 0);
    EXPECT_EQ(f.bar->GetSelectedCount(), 0);

    f.detail->SetCategory(6);
    f.detail->GetList(6)->SetAllChecked(2);
    EXPECT_EQ(f.bar->GetSelectedCount(), 2);
    EXPECT_EQ(f.bar->GetCategory(), 6);
    EXPECT_TRUE(f.Shot("scan_detail_documents"));
}

TEST(ScanDetail, ContactCardEscapesThePhonesTexts) {
    DetailFixture f;
    FakeContact contact;
    contact.name = "Ann <b>&";
    contact.fields = {{-1, "<i>Pet</i>", "Rex & <Co>"}, {2, "", "+33 1 23"}};
    const unsigned id = f.controller.AddContact(&contact);
    ASSERT_TRUE(f.Drain(kNewContacts, f.controller.contacts));
    f.detail->ShowRecord(id);
    EXPECT_STREQ(f.detail->GetCardName()->GetLabelText(), "Ann <b>&");
    std::vector<std::string> texts;
    GList* rows = gtk_container_get_children(GTK_CONTAINER(f.detail->GetCardFields()));
    for (GList* row = rows; row; row = row->next) {
        GList* inner = gtk_container_get_children(GTK_CONTAINER(row->data));
        GList* labels = gtk_container_get_children(GTK_CONTAINER(inner->data));
        for (GList* label = labels; label; label = label->next) texts.push_back(gtk_label_get_text(GTK_LABEL(label->data)));
        g_list_free(labels);
        g_list_free(inner);
    }
    g_list_free(rows);
    const std::string splitter = GetLangString("IDS_STRING_SPLITOR");
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], "<i>Pet</i>" + splitter);
    EXPECT_EQ(texts[1], "Rex & <Co>");
    EXPECT_EQ(texts[2], CUIPublic::Instance()->GetTypeName(2) + splitter);
    // Without a photo the card shows the stand-in picture.
    GdkPixbuf* standIn = gdk_pixbuf_new_from_file("../res/icon_contacts_b.png", nullptr);
    ASSERT_NE(standIn, nullptr);
    EXPECT_EQ(gdk_pixbuf_get_width(f.detail->GetAvatar()), gdk_pixbuf_get_width(standIn));
    EXPECT_EQ(std::memcmp(gdk_pixbuf_get_pixels(f.detail->GetAvatar()), gdk_pixbuf_get_pixels(standIn), 64), 0);
    g_object_unref(standIn);
    EXPECT_EQ(contact.itemsAlive, 0);
}

// Whatever order the records come in: contacts by name and conversations newest first (the
// deleted before the rest), each named as the contacts card names it, a message without a date
// dated as its text file dates it.
TEST(ScanDetail, RowsKeepOneOrderAndShowWhatTheWritersWrite) {
    const std::vector<std::string> contactsOrder = {"Zoe", "555 0100", "Alice", "bob", "zed@example.org"};
    const std::vector<std::string> conversationsOrder = {"Gone", "Newest", "Middle", "Oldest"};
    for (bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "reversed" : "in order");
        DetailFixture f;
        std::vector<std::unique_ptr<FakeContact>> contacts;
        contacts.emplace_back(Contact("bob", "1", false));
        contacts.emplace_back(Contact("Zoe", "2", true));
        contacts.emplace_back(Contact("", "555 0100", false));  // no name: its number
        contacts.back()->fields = {{2, "", "555 0100"}};
        contacts.emplace_back(Contact("Alice", "3", false));
        contacts.emplace_back(Contact("", "555 0200", false));  // its address comes first
        contacts.back()->email = "zed@example.org";
        contacts.back()->fields = {{0x101, "", "zed@example.org"}, {2, "", "555 0200"}};
        contacts.emplace_back(new FakeContact);  // nothing to name it by: its record number
        std::vector<unsigned> ids;
        const auto add = [&](size_t i) { ids.push_back(f.controller.AddContact(contacts[i].get())); };
        for (size_t i = 0; i < contacts.size(); ++i) add(reversed ? contacts.size() - 1 - i : i);
        ASSERT_TRUE(f.Drain(kNewContacts, f.controller.contacts));
        std::vector<std::string> names;
        for (const Row& row : RowsOf(f.detail->GetList(1))) names.push_back(row.text2);
        char numbered[32];
        std::snprintf(numbered, sizeof numbered, "Contact %04u", reversed ? ids.front() : ids.back());
        std::vector<std::string> expected = contactsOrder;
        expected.insert(expected.begin() + 4, numbered);
        EXPECT_EQ(names, expected);
        f.detail->ShowRecord(reversed ? ids[3] : ids[2]);
        EXPECT_STREQ(f.detail->GetCardName()->GetLabelText(), "555 0100");

        FakeSession sessions[4];
        const int dates[4] = {200, 0, 300, 100};
        const char* named[4] = {"Middle", "Gone", "Newest", "Oldest"};
        for (int i = 0; i < 4; ++i) {
            FakeMessage message;
            message.parts = {{1, "hello"}};
            message.date = dates[i];
            message.deleted = dates[i] == 0;
            sessions[i].name = named[i];
            sessions[i].messages = {message};
        }
        for (int i = 0; i < 4; ++i) f.controller.AddSession(&sessions[reversed ? 3 - i : i]);
        ASSERT_TRUE(f.Drain(kNewMessages, f.controller.sms));
        f.detail->SetCategory(2);
        names.clear();
        for (const Row& row : RowsOf(f.detail->GetList(2))) names.push_back(row.text2);
        EXPECT_EQ(names, conversationsOrder);
        EXPECT_TRUE(f.detail->SelectFirstRow());  // "Gone", whose only message has no date
        EXPECT_EQ(DateShown(f.detail), GetLangString("DATE_UNKNOWN"));

        // The arrow keys move the selection, and the conversation and the card follow it.
        ASSERT_TRUE(PressKey(f.detail->GetList(2), GDK_Down));
        EXPECT_TRUE(PumpUntil([&] { return DateShown(f.detail) != GetLangString("DATE_UNKNOWN"); }));
        EXPECT_EQ(SelectedText(f.detail->GetList(2)), "Newest");
        ASSERT_TRUE(PressKey(f.detail->GetList(2), GDK_Down));
        EXPECT_EQ(SelectedText(f.detail->GetList(2)), "Middle");
        const std::string middle = DateShown(f.detail);
        ASSERT_TRUE(PressKey(f.detail->GetList(2), GDK_Up));
        EXPECT_TRUE(PumpUntil([&] { return DateShown(f.detail) != middle; }));
        f.detail->SetCategory(1);
        EXPECT_TRUE(f.detail->SelectFirstRow());
        EXPECT_STREQ(f.detail->GetCardName()->GetLabelText(), "Zoe");
        for (const char* name : {"555 0100", "Alice"}) {
            ASSERT_TRUE(PressKey(f.detail->GetList(1), GDK_Down));
            EXPECT_TRUE(PumpUntil([&] { return std::string(f.detail->GetCardName()->GetLabelText()) == name; }))
                << f.detail->GetCardName()->GetLabelText();
        }
    }
}

TEST(ScanDetail, PaneGoesWhileDrainsWait) {
    auto* f = new DetailFixture;
    std::unique_ptr<FakeContact> alice(Contact("Alice", "1", false));
    f->controller.AddContact(alice.get());
    f->controller.AddFile("a.txt", 1, false);
    for (unsigned id : {kNewContacts, kNewMessages, kNewFiles, kNewContacts})
        CNotifyCentor::Instance()->Notify(id, nullptr, 0);
    CNotifyCentor::Instance()->DeliverPending();
    EXPECT_EQ(f->detail->PendingDrains(), 3u);
    delete f;
    // Everything the main loop held for the pane has had its turn.
    bool after = false;
    g_idle_add_full(G_PRIORITY_LOW, [](gpointer flag) -> gboolean { return *static_cast<bool*>(flag) = true, FALSE; },
                    &after, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return after; }));
}

}  // namespace
