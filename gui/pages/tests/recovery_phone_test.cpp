// The bottom bar over the logic library itself (libVantrel.so beside the program), after a scan
// of a phone: Recover through the real folder chooser, the recovery window following the
// library's records, and the files written, the same as relikorda-recover's; and through a scan
// page that drained the scan, Recover writing exactly the rows shown ticked.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gui/pages/RecoveryWin.h"
#include "gui/pages/ScanMain.h"
#include "gui/pages/ScanProgress.h"
#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanSelectedDetail.h"
#include "gui/pages/ScanTree.h"
#include "gui/pages/tests/PagesTestSupport.h"
#include "gui/shell/CMsgReceiver.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "gui/shell/tests/ShellTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPImgTxtLabel.h"
#include "outside/widgets/CBPListTreeview.h"
#include "outside/widgets/CBPLabel.h"
#include "outside/widgets/CBPLinkLabel.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace fs = std::filesystem;

namespace {

constexpr int kScanMs = 120000;
enum : int { CATEGORY_CONTACTS = 1, CATEGORY_MESSAGES = 2, CATEGORY_GALLERY = 3, CATEGORY_DOCUMENTS = 6 };

// Every file below root by its path relative to it, with its contents.
std::map<std::string, std::string> FilesBelow(const fs::path& root) {
    std::map<std::string, std::string> files;
    if (!fs::is_directory(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), root).string()] = ReadText(entry.path());
    }
    return files;
}

// written holds what expected holds below the folder prefix, no more and no less.
void ExpectSameFiles(const std::map<std::string, std::string>& written,
                     const std::map<std::string, std::string>& expected, const std::string& prefix) {
    size_t count = 0;
    for (const auto& file : expected) {
        if (file.first.compare(0, prefix.size(), prefix) != 0) continue;
        ++count;
        auto found = written.find(file.first);
        ASSERT_NE(found, written.end()) << file.first;
        EXPECT_TRUE(found->second == file.second) << file.first;
    }
    EXPECT_GT(count, 0u) << prefix;
    EXPECT_EQ(written.size(), count) << prefix;
}

template <class Record>
int TickAll(IDataContainer<Record>* container, bool tick) {
    if (!container) return 0;
    autolocker<IDataContainer<Record>*> lock(container);
    int count = 0;
    for (auto it = container->Begin(); it != container->End(); ++it, ++count) it->second.check = tick ? 1 : 0;
    return count;
}

// The record ids of a list's rows, each as the file name the writers give it ("0007").
std::set<std::string> RowNames(CBPListTreeview* list) {
    std::set<std::string> names;
    GtkTreeModel* model = GTK_TREE_MODEL(list->GetStore());
    GtkTreeIter iter;
    for (gboolean more = gtk_tree_model_get_iter_first(model, &iter); more; more = gtk_tree_model_iter_next(model, &iter)) {
        guint id = 0;
        gtk_tree_model_get(model, &iter, 5, &id, -1);
        char name[16];
        std::snprintf(name, sizeof name, "%04u", id);
        names.insert(name);
    }
    return names;
}

// The names of the documents in folder (contacts/0007.xml -> 0007).
std::set<std::string> WrittenNames(const std::string& folder) {
    std::set<std::string> names;
    if (!fs::is_directory(folder)) return names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().extension() == ".xml") names.insert(entry.path().stem().string());
    return names;
}

// The texts the recovery window's running label shows, each as it is set.
void NoteLabel(GObject* label, GParamSpec*, gpointer shown) {
    static_cast<std::vector<std::string>*>(shown)->push_back(gtk_label_get_text(GTK_LABEL(label)));
}

class RecoveryPhoneTest : public ::testing::Test {
protected:
    // The program binds the library when its services are first made: the phone is named before
    // the process starts (RELIKORDA_DEVICE), and one scan serves every test.
    // The scan page stands before the scan starts, as the main window has it, and drains it; its
    // progress strip takes the scan's records (each is handed out once).
    static void SetUpTestSuite() {
        // A copy of the phone: the last test shrinks its card after the scan.
        const char* phone = getenv("RELIKORDA_DEVICE");
        if (!phone) return;
        copy_ = MakeTempFolder();
        const std::string command = std::string("cp -r --sparse=always '") + phone + "' '" + copy_ + "/phone'";
        if (std::system(command.c_str()) != 0) return;
        setenv("RELIKORDA_DEVICE", (copy_ + "/phone").c_str(), 1);
        controller_ = CUIPublic::Instance()->GetLogicalController();
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        gtk_window_set_default_size(GTK_WINDOW(window_), 996, 580);
        page_ = new CScanMain;
        gtk_container_add(GTK_CONTAINER(window_), page_->GetWidget());
        gtk_widget_show_all(window_);
        if (!controller_ || controller_->StartConnect() != RK_OK || controller_->StartScan() != RK_OK) return;
        scanned_ = PumpUntil([&] {
            auto* contacts = controller_->GetContactContainer();
            auto* sms = controller_->GetSmsContainer();
            if (!page_->GetProgress()->GetToolbar() || !contacts || !sms) return false;
            autolocker<IDataContainer<_CONTACT_INFOMATION>*> a(contacts);
            autolocker<IDataContainer<_SMS_INFOMATION>*> b(sms);
            return page_->GetDetail()->PendingDrains() == 0 && contacts->FreshCount() == 0 && sms->FreshCount() == 0;
        }, kScanMs);
    }
    static void TearDownTestSuite() {
        delete page_;
        page_ = nullptr;
        gtk_widget_destroy(window_);
        CUIPublic::Instance()->ReleaseLogicalController();
        controller_ = nullptr;
        if (!copy_.empty()) fs::remove_all(copy_);
    }
    void SetUp() override {
        ASSERT_NE(controller_, nullptr);
        ASSERT_TRUE(scanned_);
        const char* phone = getenv("RELIKORDA_DEVICE");
        ASSERT_NE(phone, nullptr);
        phone_ = phone;
        temp_ = MakeTempFolder();
    }
    void TearDown() override {
        bar_.Close();
        fs::remove_all(temp_);
    }

    // The console front's files for the phone, relative to its run's folder.
    std::map<std::string, std::string> ConsoleFiles() {
        const std::string out = temp_ + "/console", report = temp_ + "/console.txt";
        const std::string command = std::string("'") + RK_RECOVER_PROGRAM + "' --device '" + phone_ + "' --out '" +
                                    out + "' > '" + report + "' 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << ReadText(report);
        std::string run;
        std::istringstream lines(ReadText(report));
        std::getline(lines, run);
        EXPECT_EQ(run.compare(0, 7, "output "), 0) << run;
        return FilesBelow(run.substr(7));
    }

    // Recover into chosen, followed to the window's result page; the label texts shown on the way.
    std::vector<std::string> RecoverAndFollow(const std::string& chosen) {
        std::vector<std::string> shown;
        EXPECT_TRUE(bar_.Recover(chosen));
        CRecoveryWin* window = bar_.bar->GetRecoveryWindow();
        if (!window) return shown;
        g_signal_connect(window->GetProgressLabel()->GetWidget(), "notify::label", G_CALLBACK(&NoteLabel), &shown);
        EXPECT_TRUE(PumpUntil([&] { return window->GetResultPage() != nullptr; }, kScanMs));
        g_signal_handlers_disconnect_by_data(window->GetProgressLabel()->GetWidget(), &shown);
        return shown;
    }

    static ILogicalController* controller_;
    static std::string copy_;
    static bool scanned_;
    static GtkWidget* window_;
    static CScanMain* page_;
    std::string phone_, temp_;
    BarWindow bar_;
};

ILogicalController* RecoveryPhoneTest::controller_ = nullptr;
std::string RecoveryPhoneTest::copy_;
bool RecoveryPhoneTest::scanned_ = false;
GtkWidget* RecoveryPhoneTest::window_ = nullptr;
CScanMain* RecoveryPhoneTest::page_ = nullptr;

}  // namespace

TEST_F(RecoveryPhoneTest, RecoveredFilesAreTheConsoleFrontsAndTheWindowNamesEach) {
    CScanSelectedBottom* bar = bar_.bar;
    // Nothing ticked: no tip, no Recover; one: both.
    IDataContainer<_ARCHIVE_INFOMATION>* media = controller_->GetArchiveContainer();
    TickAll(media, false);
    bar->UpdateSelectedTip(0, CATEGORY_GALLERY);
    EXPECT_FALSE(gtk_widget_get_visible(bar->GetSelectedTip()->GetWidget()));
    EXPECT_FALSE(gtk_widget_get_sensitive(bar->GetRecoverButton()->GetWidget()));
    bar->UpdateSelectedTip(1, CATEGORY_GALLERY);
    EXPECT_TRUE(gtk_widget_get_visible(bar->GetSelectedTip()->GetWidget()));
    EXPECT_TRUE(gtk_widget_get_sensitive(bar->GetRecoverButton()->GetWidget()));

    // Every picture ticked and recovered: each named on the way, a success page at the end.
    const int pictures = TickAll(media, true);
    ASSERT_GE(pictures, 3);
    bar->UpdateSelectedTip(pictures, CATEGORY_GALLERY);
    const std::string chosen = temp_ + "/Pictures & more";
    fs::create_directory(chosen);
    const std::vector<std::string> shown = RecoverAndFollow(chosen);
    const std::string destination = bar->GetDestination();
    CRecoveryWin* window = bar->GetRecoveryWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->GetLocationLabel(), nullptr) << (window->GetReasonLabel() ? "failed" : "no page");
    // The library's records replace one another until the window takes them (the message centre
    // keeps the latest of an id): each name shown is one of the files, though not each is shown.
    for (const std::string& text : shown) {
        if (text == "Recovering ") continue;
        EXPECT_TRUE(text == "Recovering IMG_0001.jpg" || text == "Recovering IMG_0002.png" ||
                    text == "Recovering R&D day.jpg")
            << text;
    }
    EXPECT_TRUE(SaveWindowScreenshot("recovery_phone_success", window->GetWidget()));
    GtkWidget* location = window->GetLocationLabel()->GetWidget();
    EXPECT_EQ(FirstLinkOf(location), destination);
    EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(location))), "The files are in " + destination);
    const size_t opened = World().desktop->Opened().size();
    gboolean handled = FALSE;
    g_signal_emit_by_name(location, "activate-link", FirstLinkOf(location).c_str(), &handled);
    ASSERT_TRUE(WaitOpened(*World().desktop, opened + 1));
    EXPECT_EQ(World().desktop->Opened().back(), destination.substr(0, destination.size() - 1));

    // The conversations next, into a folder of their own.
    const int conversations = TickAll(controller_->GetSmsContainer(), true);
    ASSERT_GT(conversations, 0);
    bar->UpdateSelectedTip(conversations, CATEGORY_MESSAGES);
    const std::string messages = temp_ + "/messages";
    fs::create_directory(messages);
    RecoverAndFollow(messages);
    ASSERT_NE(bar->GetRecoveryWindow()->GetLocationLabel(), nullptr);

    // Each the same as the console front writes for the phone.
    const std::map<std::string, std::string> console = ConsoleFiles();
    ExpectSameFiles(FilesBelow(destination), console, "files/");
    ExpectSameFiles(FilesBelow(bar->GetDestination()), console, "sms/");
}

TEST_F(RecoveryPhoneTest, AFolderThatTakesNoFilesEndsOnTheFailurePage) {
    const ReadOnlyFolder readOnly;
    if (!readOnly.Ready()) GTEST_SKIP() << "no read-only mount possible here";
    bar_.bar->UpdateSelectedTip(TickAll(controller_->GetArchiveContainer(), true), CATEGORY_GALLERY);
    RecoverAndFollow(readOnly.Path());
    CRecoveryWin* window = bar_.bar->GetRecoveryWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(window->GetReasonLabel(), nullptr);
    EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(window->GetReasonLabel()->GetWidget()))),
              "The file could not be written.");
}

TEST_F(RecoveryPhoneTest, OnlyDeletedStaysWithItsCategoryAndRecoverWritesTheRowsShownTicked) {
    struct Case {
        int category, elsewhere;
        const char* folder;
    } cases[] = {{CATEGORY_CONTACTS, CATEGORY_DOCUMENTS, "contacts"}, {CATEGORY_MESSAGES, CATEGORY_GALLERY, "sms"}};
    CScanSelectedDetail* detail = page_->GetDetail();
    CScanSelectedBottom* bar = page_->GetBottomBar();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        CBPListTreeview* list = detail->GetList(c.category);
        PressTreeRow(page_->GetTree(), c.category);
        const int all = list->GetRowCount();
        // On in the category, then away to another (where the switch goes on and off again) and
        // back: still on, still only the deleted.
        CScanProgress* toolbar = page_->GetProgress();
        toolbar->OnOnlyDeletedClicked();
        ASSERT_TRUE(PumpUntil([&] { return detail->GetOnlyDeleted() == 1; }));
        const std::set<std::string> deleted = RowNames(list);
        ASSERT_GT(deleted.size(), 0u);
        ASSERT_LT(static_cast<int>(deleted.size()), all);
        PressTreeRow(page_->GetTree(), c.elsewhere);
        EXPECT_EQ(toolbar->GetOnlyDeleted(), 0);
        toolbar->OnOnlyDeletedClicked();
        ASSERT_TRUE(PumpUntil([&] { return detail->GetOnlyDeleted() == 1; }));
        toolbar->OnOnlyDeletedClicked();
        ASSERT_TRUE(PumpUntil([&] { return detail->GetOnlyDeleted() == 0; }));
        PressTreeRow(page_->GetTree(), c.category);
        EXPECT_EQ(toolbar->GetOnlyDeleted(), 1);
        EXPECT_EQ(detail->GetOnlyDeleted(), 1);
        EXPECT_EQ(RowNames(list), deleted);

        // Every row shown ticked through the header: Recover writes those and nothing else.
        list->SetAllChecked(2);
        EXPECT_EQ(bar->GetSelectedCount(), static_cast<int>(deleted.size()));
        const std::string chosen = temp_ + "/" + c.folder;
        fs::create_directory(chosen);
        gtk_button_clicked(GTK_BUTTON(bar->GetRecoverButton()->GetWidget()));
        GtkWidget* chooser = nullptr;
        ASSERT_TRUE(PumpUntil([&] { return (chooser = FindFolderChooser()) != nullptr; }));
        ASSERT_TRUE(AnswerFolderChooser(chooser, chosen));
        ASSERT_TRUE(PumpUntil([&] { return !bar->IsChoosing(); }));
        ASSERT_TRUE(PumpUntil([&] { return bar->GetRecoveryWindow() && bar->GetRecoveryWindow()->GetResultPage(); },
                              kScanMs));
        ASSERT_NE(bar->GetRecoveryWindow()->GetLocationLabel(), nullptr);
        EXPECT_EQ(WrittenNames(bar->GetDestination() + c.folder), deleted);

        // The switch off again, for the tests after this one.
        toolbar->OnOnlyDeletedClicked();
        ASSERT_TRUE(PumpUntil([&] { return list->GetRowCount() == all; }));
    }
}

// The card shrinks between the scan and Recover (cut one sector into its files' data, as a card
// that stops answering part way): the pictures it no longer holds are written only as far as it
// goes, and the window ends on the "only in part" page, never on success. Last: the card stays cut.
TEST_F(RecoveryPhoneTest, ACardThatShrankAfterTheScanEndsOnTheOnlyInPartPage) {
    const std::string card = phone_ + "/storage/sdcard.img";
    const std::string boot = ReadText(card).substr(0, 512);
    ASSERT_EQ(boot.size(), 512u);
    auto field = [&](size_t at, size_t bytes) {
        uint32_t value = 0;
        for (size_t i = 0; i < bytes; ++i) value |= uint32_t{static_cast<uint8_t>(boot[at + i])} << (8 * i);
        return value;
    };
    // Reserved sectors, the FATs and the root folder (FAT12/16): the data begins after them.
    const uint32_t dataStart = field(14, 2) + field(16, 1) * field(22, 2) + (field(17, 2) * 32 + 511) / 512;
    ASSERT_GT(dataStart, 1u);
    ASSERT_EQ(truncate(card.c_str(), (dataStart + 1) * 512), 0);

    // Through the scan page's own bar: the window it made before gives way to the new one.
    CScanSelectedBottom* bar = page_->GetBottomBar();
    bar->UpdateSelectedTip(TickAll(controller_->GetArchiveContainer(), true), CATEGORY_GALLERY);
    const std::string chosen = temp_ + "/cut";
    fs::create_directory(chosen);
    gtk_button_clicked(GTK_BUTTON(bar->GetRecoverButton()->GetWidget()));
    GtkWidget* chooser = nullptr;
    ASSERT_TRUE(PumpUntil([&] { return (chooser = FindFolderChooser()) != nullptr; }));
    ASSERT_TRUE(AnswerFolderChooser(chooser, chosen));
    ASSERT_TRUE(PumpUntil([&] { return !bar->IsChoosing(); }));
    ASSERT_TRUE(PumpUntil([&] { return bar->GetRecoveryWindow() && bar->GetRecoveryWindow()->GetResultPage(); },
                          kScanMs));
    CRecoveryWin* window = bar->GetRecoveryWindow();
    ASSERT_NE(window->GetReasonLabel(), nullptr) << "the success page";
    EXPECT_EQ(std::string(gtk_label_get_text(GTK_LABEL(window->GetReasonLabel()->GetWidget()))),
              "Some files could be recovered only in part: the device no longer holds all of their data.");
    EXPECT_TRUE(SaveWindowScreenshot("recovery_phone_only_in_part", window->GetWidget()));
    // No picture is written whole-sized out of zeros: each is at most the sector the card still holds.
    for (const auto& file : FilesBelow(bar->GetDestination() + "files"))
        EXPECT_LE(file.second.size(), 512u) << file.first;
}
