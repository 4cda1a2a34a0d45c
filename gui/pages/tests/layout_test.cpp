// Every text of the main screens fits its box, or shows whole when the pointer rests on it, in
// each of the four languages, at the main window's default size and maximised (the screen's size:
// the test display has no window manager): the connection page, the contact card with a long
// name, a conversation with a long unbroken body, the gallery, the search box with text, the
// recovery window's success page. Recovered texts wrap without characters Pango would insert.
// Each language runs in a child process of its own (the language is read once per process);
// English and French leave screenshots.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "gui/pages/RecoveryWin.h"
#include "gui/pages/ScanMain.h"
#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/ScanTree.h"
#include "gui/pages/tests/ScanDetailFakes.h"
#include "gui/pages/tests/ScanPageTestSupport.h"
#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/MainWin.h"
#include "gui/shell/MsgBubble.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPComboBoxMenu.h"
#include "outside/widgets/CBPEntry.h"
#include "outside/widgets/CBPImgGridList.h"
#include "outside/widgets/CBPImgTxtLabel.h"
#include "outside/widgets/CBPIniParser.h"

namespace {

// The containers the pages drain, with payloads as the notification centre keeps them.
class LayoutController : public FakeController {
public:
    ResultCode GetMsg(unsigned id, void* buf, unsigned* len) override {
        void* target = buf;
        return CNotifyCentor::Instance()->GetPayload(id, &target, len) ? RK_OK : RK_FAIL(RK_E_NOT_FOUND);
    }
};

// Glyphs Pango drew that are not characters of the text: a hyphen where it broke a word shares
// the cluster of the character before it.
int InsertedGlyphs(PangoLayout* layout) {
    int inserted = 0;
    for (GSList* line = pango_layout_get_lines_readonly(layout); line; line = line->next) {
        for (GSList* run = static_cast<PangoLayoutLine*>(line->data)->runs; run; run = run->next) {
            const PangoGlyphString* glyphs = static_cast<PangoGlyphItem*>(run->data)->glyphs;
            for (int i = 1; i < glyphs->num_glyphs; ++i)
                if (glyphs->log_clusters[i] == glyphs->log_clusters[i - 1]) ++inserted;
        }
    }
    return inserted;
}

std::string PlainOf(const char* markup) {
    gchar* text = nullptr;
    if (!markup || !pango_parse_markup(markup, -1, 0, nullptr, &text, nullptr, nullptr)) return std::string();
    std::string plain = text;
    g_free(text);
    return plain;
}

// The tooltip of the widget or of the nearest of its containers that has one.
std::string TooltipOf(GtkWidget* widget) {
    for (int level = 0; widget && level < 4; ++level, widget = gtk_widget_get_parent(widget)) {
        gchar* tip = gtk_widget_get_tooltip_text(widget);
        std::string text = tip ? tip : "";
        g_free(tip);
        if (!text.empty()) return text;
    }
    return std::string();
}

// What does not fit on one screen, each in words.
class FitCheck {
public:
    FitCheck(GtkWidget* window, const std::string& screen) : window_(window), screen_(screen) {}

    std::vector<std::string> Run() {
        GtkAllocation area;
        gtk_widget_get_allocation(window_, &area);
        Walk(window_, GdkRectangle{0, 0, area.width, area.height}, false);
        return problems_;
    }

private:
    void Problem(GtkWidget* widget, const std::string& what) {
        problems_.push_back(screen_ + ": " + G_OBJECT_TYPE_NAME(widget) + " " + what);
    }

    static bool Inside(const GdkRectangle& inner, const GdkRectangle& outer) {
        return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
               inner.y + inner.height <= outer.y + outer.height;
    }

    void Walk(GtkWidget* widget, GdkRectangle box, bool scrolled) {
        if (!gtk_widget_get_mapped(widget)) return;
        GtkAllocation area;
        gtk_widget_get_allocation(widget, &area);
        gint x = 0, y = 0;
        if (widget != window_ && !gtk_widget_translate_coordinates(widget, window_, 0, 0, &x, &y)) return;
        const GdkRectangle own{x, y, area.width, area.height};
        if (!scrolled && area.width > 1 && area.height > 1 && !Inside(own, box))
            Problem(widget, "lies outside its container");
        if (GTK_IS_LABEL(widget)) CheckLabel(widget);
        if (GTK_IS_TREE_VIEW(widget)) CheckList(GTK_TREE_VIEW(widget));
        if (GTK_IS_ICON_VIEW(widget) && gtk_icon_view_get_tooltip_column(GTK_ICON_VIEW(widget)) < 0)
            Problem(widget, "shows captions it may cut without a tooltip");
        if (!GTK_IS_CONTAINER(widget)) return;
        const bool inner = scrolled || GTK_IS_VIEWPORT(widget) || GTK_IS_TREE_VIEW(widget) || GTK_IS_ICON_VIEW(widget);
        std::vector<GtkWidget*> children;
        gtk_container_forall(GTK_CONTAINER(widget),
                             [](GtkWidget* child, gpointer list) {
                                 static_cast<std::vector<GtkWidget*>*>(list)->push_back(child);
                             },
                             &children);
        for (GtkWidget* child : children) Walk(child, own, inner);
    }

    void CheckLabel(GtkWidget* widget) {
        GtkLabel* label = GTK_LABEL(widget);
        const std::string text = gtk_label_get_text(label);
        if (text.empty()) return;
        PangoLayout* layout = gtk_label_get_layout(label);
        if (InsertedGlyphs(layout) > 0) Problem(widget, "\"" + text + "\" is drawn with characters it does not have");
        if (pango_layout_is_ellipsized(layout)) {
            const std::string tip = TooltipOf(widget);
            if (tip.empty() || (tip.find(text) == std::string::npos && text.find(tip) == std::string::npos))
                Problem(widget, "\"" + text + "\" is cut and its tooltip (\"" + tip + "\") does not show it");
            return;
        }
        PangoRectangle ink, logical;
        pango_layout_get_pixel_extents(layout, &ink, &logical);
        GtkAllocation area;
        gtk_widget_get_allocation(widget, &area);
        const int xpad = GTK_MISC(widget)->xpad, ypad = GTK_MISC(widget)->ypad;
        if (logical.width > area.width - 2 * xpad + 1 || logical.height > area.height - 2 * ypad + 1)
            Problem(widget, "\"" + text + "\" needs " + std::to_string(logical.width) + "x" +
                                std::to_string(logical.height) + " and has " + std::to_string(area.width) + "x" +
                                std::to_string(area.height));
        // The text of a round button stays on its disc.
        GtkWidget* parent = gtk_widget_get_parent(widget);
        if (parent && GTK_IS_BUTTON(parent) && CBPButton::GetBoundInt(parent, ROUND_COLOR_BUTTON_KEY) > 0) {
            GtkAllocation button;
            gtk_widget_get_allocation(parent, &button);
            const double radius = CBPButton::RoundRadius(button.width, button.height);
            const double half = logical.height / 2.0;
            const double chord = radius > half ? 2 * std::sqrt(radius * radius - half * half) : 0;
            if (logical.width > chord)
                Problem(widget, "\"" + text + "\" is wider (" + std::to_string(logical.width) +
                                    ") than its round button's disc (" + std::to_string(int(chord)) + ")");
        }
    }

    // A cell whose text is wider than its column must show whole in the row's tooltip.
    void CheckList(GtkTreeView* view) {
        GtkTreeModel* model = gtk_tree_view_get_model(view);
        const int tooltipColumn = gtk_tree_view_get_tooltip_column(view);
        GtkTreeIter iter;
        for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more;
             more = gtk_tree_model_iter_next(model, &iter)) {
            std::string tooltip;
            if (tooltipColumn >= 0) {
                gchar* markup = nullptr;
                gtk_tree_model_get(model, &iter, tooltipColumn, &markup, -1);
                tooltip = PlainOf(markup);
                g_free(markup);
            }
            GList* columns = gtk_tree_view_get_columns(view);
            for (GList* item = columns; item; item = item->next) {
                auto* column = GTK_TREE_VIEW_COLUMN(item->data);
                GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
                for (GList* cell = cells; cell; cell = cell->next) {
                    if (!GTK_IS_CELL_RENDERER_TEXT(cell->data)) continue;
                    gtk_tree_view_column_cell_set_cell_data(column, model, &iter, FALSE, FALSE);
                    gchar* shown = nullptr;
                    g_object_get(cell->data, "text", &shown, nullptr);
                    const std::string text = shown ? shown : "";
                    g_free(shown);
                    PangoLayout* layout = gtk_widget_create_pango_layout(GTK_WIDGET(view), text.c_str());
                    int width = 0, height = 0;
                    pango_layout_get_pixel_size(layout, &width, &height);
                    g_object_unref(layout);
                    const int room = gtk_tree_view_column_get_width(column) - 2 * GTK_CELL_RENDERER(cell->data)->xpad;
                    if (width > room && tooltip.find(text) == std::string::npos)
                        Problem(GTK_WIDGET(view), "cell \"" + text + "\" is cut and no tooltip shows it");
                }
                g_list_free(cells);
            }
            g_list_free(columns);
        }
    }

    GtkWidget* window_;
    std::string screen_;
    std::vector<std::string> problems_;
};

// How a page of the main window is shown for a check.
struct Size {
    const char* name;
    int width, height;
};

class Screens {
public:
    Screens(std::string language, CUIMainWin* window) : language_(std::move(language)), window_(window) {}

    // Checks the main window at each size; the first size's look is kept as a shot.
    void CheckMainWindow(const std::string& screen, const std::function<void()>& prepare = {}) {
        const Size sizes[] = {{"", 1000, 620}, {"maximised", gdk_screen_width(), gdk_screen_height()}};
        for (const Size& size : sizes) {
            Resize(window_->GetWidget(), size.width, size.height);
            if (prepare) prepare();
            DrawPending();
            const std::string name = screen + (*size.name ? std::string(" ") + size.name : "");
            Add(FitCheck(window_->GetWidget(), language_ + ", " + name).Run());
            if (!*size.name) Shot(screen, window_->GetWidget());
        }
        Resize(window_->GetWidget(), 1000, 620);
    }

    void Check(GtkWidget* window, const std::string& screen) {
        DrawPending();
        Add(FitCheck(window, language_ + ", " + screen).Run());
        Shot(screen, window);
    }

    void Add(const std::vector<std::string>& found) { problems.insert(problems.end(), found.begin(), found.end()); }

    std::vector<std::string> problems;

private:
    static void Resize(GtkWidget* window, int width, int height) {
        gtk_window_move(GTK_WINDOW(window), 0, 0);
        gtk_window_resize(GTK_WINDOW(window), width, height);
        PumpUntil([&] {
            GtkAllocation area;
            gtk_widget_get_allocation(window, &area);
            return area.width == width && area.height == height;
        });
        DrawPending();
    }
    void Shot(const std::string& screen, GtkWidget* window) const {
        if (language_ != "English" && language_ != "French") return;
        std::string name = "layout_" + language_ + "_" + screen;
        for (char& c : name) c = c == ' ' ? '_' : static_cast<char>(g_ascii_tolower(c));
        SaveWindowScreenshot(name, window);
    }

    std::string language_;
    CUIMainWin* window_;
};

// The long texts a phone can hold.
const char* const kLongName = "Stevie Ray Vaughan-Hendrix Montgomery-Wellington";
const char* const kLongAddress = "stevie.ray.vaughan-hendrix.montgomery@long-company-name.example.com";
const char* const kLongBody =
    "Your code: kqzvxwpmnbtrgsldfhjcvbnmqwertyuioplkjhgfdsazxcvbnmqwertyuiopasdfghjklzxcvbnmpoiuytrewq";

// The screens of one language, in a child process; the number of problems found.
int RunLanguage(const std::string& language) {
    const ScratchTree tree = MakeScratchTree();
    {
        CBPIniParser config((tree.res + "/UIConfig.ini").c_str());
        config.SetKeyValueStr("Public", "Language", language.c_str());
    }
    if (chdir(tree.bin.c_str()) != 0 || !gtk_init_check(nullptr, nullptr)) return 100;
    gtk_rc_parse("../share/themes/gtk-2.0/gtkrc");
    CNotifyCentor::Instance();

    LayoutController controller;
    CUIPublic::Instance()->SetLogicalController(&controller);
    FakeContact stevie, plain;
    stevie.name = kLongName;
    stevie.phone = "+44 20 7946 0958 ext. 4471";
    stevie.email = kLongAddress;
    stevie.fields = {{2, "", stevie.phone}, {0x101, "", kLongAddress},
                     {-1, "Home address", "Flat 42, 1234 Extraordinarily Long Street Name, Kensington and Chelsea"}};
    plain.name = "Ann";
    plain.phone = "1";
    const unsigned stevieId = controller.AddContact(&stevie);
    controller.AddContact(&plain);
    FakeSession session;
    session.name = kLongName;
    session.number = "+44 20 7946 0958";
    FakeMessage code, reply;
    code.parts = {{1, kLongBody}};
    code.date = 1700000000;
    reply.parts = {{1, "Thanks, that worked."}};
    reply.sent = true;
    reply.date = 1700000100;
    session.messages = {code, reply};
    const unsigned sessionId = controller.AddSession(&session);
    for (int i = 0; i < 9; ++i)
        controller.AddFile("IMG_2024010" + std::to_string(i) + "_Holiday_Photo_With_A_Long_Name.jpg", 600, i % 3 == 0,
                           PngBytes(120, 90, 0x3080C0 + 0x101010 * i));
    controller.AddFile("notes.txt", 10, false);

    CUIMainWin window;
    window.Show();
    if (!WaitShown(window.GetWidget())) return 101;
    Screens screens(language, &window);
    screens.CheckMainWindow("connection");
    // The title bar's menu: each entry whole, however long its text.
    window.GetMenu()->Popup();
    GtkWidget* menu = window.GetMenu()->GetWidget();
    if (!PumpUntil([&] { return gtk_widget_get_mapped(menu); })) return 106;
    screens.Check(gtk_widget_get_toplevel(menu), "menu");
    gtk_menu_popdown(GTK_MENU(menu));

    window.ShowScanPage();
    CScanMain* page = nullptr;
    if (!PumpUntil([&] { return (page = dynamic_cast<CScanMain*>(window.GetScanPage())) != nullptr; })) return 102;
    for (unsigned id : {0x0204000Fu, 0x02040010u, 0x02040011u}) CNotifyCentor::Instance()->Notify(id, nullptr, 0);
    PostScanRecord(ScanRecord(PROGRESS_STATE_FINISHED, 10, 10, 0));
    if (!PumpUntil([&] {
            return page->GetProgress()->GetToolbar() && page->GetDetail()->PendingDrains() == 0 &&
                   page->GetTree()->GetCounts(3).total == 9;
        }))
        return 103;
    CScanTree* tree_ = page->GetTree();
    CScanSelectedDetail* detail = page->GetDetail();
    screens.CheckMainWindow("contact card", [&] {
        tree_->SelectItem(1);
        detail->ShowRecord(stevieId);
    });
    screens.CheckMainWindow("conversation", [&] {
        tree_->SelectItem(2);
        detail->ShowRecord(sessionId);
        // Each text drawn as it is, over as many lines as it takes.
        for (const auto& bubble : detail->GetBubbles()) {
            for (const ImageItem& entry : bubble->Entries()) {
                if (entry.isImage) continue;
                PangoLayout* layout = gtk_widget_create_pango_layout(bubble->GetWidget(), nullptr);
                CMsgBubble::SetTextLayout(layout, entry);
                if (InsertedGlyphs(layout) > 0)
                    screens.problems.push_back(language + ", conversation: a bubble draws \"" + entry.text +
                                               "\" with characters it does not have");
                g_object_unref(layout);
            }
        }
    });
    screens.CheckMainWindow("gallery", [&] {
        tree_->SelectItem(3);
        PumpUntil([&] { return detail->GetGrid(3)->LoadedCount() == 9; });
        // As many columns as the pane has room for.
        GtkIconView* grid = GTK_ICON_VIEW(detail->GetGrid(3)->GetIconView());
        GtkAllocation area;
        gtk_widget_get_allocation(GTK_WIDGET(grid), &area);
        const int spacing = gtk_icon_view_get_column_spacing(grid), margin = gtk_icon_view_get_margin(grid);
        const int fit = (area.width - 2 * margin + spacing) / (gtk_icon_view_get_item_width(grid) + spacing);
        GtkTreePath* last = gtk_tree_path_new_from_indices(std::min(fit, 9) - 1, -1);
        if (gtk_icon_view_get_item_row(grid, last) != 0 || gtk_icon_view_get_item_column(grid, last) != std::min(fit, 9) - 1)
            screens.problems.push_back(language + ", gallery: the first row does not hold the " +
                                       std::to_string(fit) + " pictures it has room for");
        gtk_tree_path_free(last);
    });
    screens.CheckMainWindow("search", [&] {
        tree_->SelectItem(1);
        page->GetProgress()->GetSearchEntry()->SetText("Stevie Ray Vaughan-Hendrix");
        // The frame's outline (a light grey, smoothed over its edge's pixels) stands round the entry
        // that moved over for the clear button.
        DrawPending();
        GtkWidget* frame = gtk_widget_get_parent(page->GetProgress()->GetSearchEntry()->GetWidget());
        gint x = 0, y = 0;
        gtk_widget_translate_coordinates(frame, window.GetWidget(), 0, 0, &x, &y);
        const guint32 edge = WindowPixel(window.GetWidget(), x, y + frame->allocation.height / 2);
        const guint32 grey = edge & 0xFF;
        if (edge != (grey * 0x010101) || grey < 0xC0 || grey > 0xF0)
            screens.problems.push_back(language + ", search: the frame's outline is not where the frame is");
    });

    // Neither database could be read, the storage only in part: each category says so above its pane.
    const uint32_t unread = 1u << 1 | 1u << 2 | kStorageReadInPart;
    CNotifyCentor::Instance()->Notify(MSG_SCAN_UNREAD, &unread, sizeof unread);
    if (!PumpUntil([&] { return detail->GetNotice() && gtk_widget_get_visible(detail->GetNotice()->GetWidget()); }))
        return 107;
    const std::pair<int, const char*> notices[] = {{1, "contacts unread"}, {2, "messages unread"},
                                                   {6, "storage read in part"}};
    for (const auto& notice : notices)
        screens.CheckMainWindow(notice.second, [&] { tree_->SelectItem(notice.first); });

    CRecoveryWin recovery(&window);
    recovery.Show();
    recovery.SetDestination("/home/stevie/Documents/Recovered from the phone of Stevie Ray" +
                            std::string(GetLangString("STR_EXPORT")) + "/2024-01-31-23-59-58/");
    if (!WaitShown(recovery.GetWidget())) return 104;
    const PROGRESS_INFO finished = MakeProgress(PROGRESS_STATE_FINISHED, 3, 3, 0, "");
    CNotifyCentor::Instance()->Notify(MSG_RECOVERY_PROGRESS, &finished, sizeof finished);
    if (!PumpUntil([&] { return recovery.GetResultPage() != nullptr; })) return 105;
    screens.Check(recovery.GetWidget(), "recovery success");

    for (const std::string& problem : screens.problems) std::fprintf(stderr, "%s\n", problem.c_str());
    CUIPublic::Instance()->SetLogicalController(nullptr);
    return static_cast<int>(std::min<size_t>(screens.problems.size(), 99));
}

class LayoutTest : public ::testing::TestWithParam<const char*> {};

}  // namespace

PagesWorld& World() {
    static PagesWorld world;
    return world;
}

TEST_P(LayoutTest, EveryTextFitsOrShowsWholeOnHover) {
    std::fflush(stderr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int problems = RunLanguage(GetParam());
        std::fflush(stderr);
        _exit(problems);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << "problems (listed above), or a step that did not come (100 and above)";
}

INSTANTIATE_TEST_SUITE_P(Languages, LayoutTest, ::testing::Values("English", "French", "German", "Chinese"));
