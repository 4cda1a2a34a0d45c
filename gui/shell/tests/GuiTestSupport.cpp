#include "gui/shell/tests/GuiTestSupport.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/NamedObjects.h"

std::string MakeTempFolder() {
    // Under $TMPDIR when set: the display tests' runner gives each run one, removed afterwards.
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/rk_gui_XXXXXX";
    return mkdtemp(&pattern[0]) ? pattern : "";
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void RemoveSessionEvent(const std::string& session, const std::string& name) {
    // The system's name comes from the session folder in the environment.
    const char* before = getenv("XDG_RUNTIME_DIR");
    const std::string saved = before ? before : "";
    setenv("XDG_RUNTIME_DIR", session.c_str(), 1);
    platform::NamedEvent::Remove(name);
    if (before) {
        setenv("XDG_RUNTIME_DIR", saved.c_str(), 1);
    } else {
        unsetenv("XDG_RUNTIME_DIR");
    }
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeoutMs) * 1000;
    while (!done()) {
        if (g_get_monotonic_time() > deadline) return false;
        // Never blocks for long: the notification centre's 80 ms timeout keeps the loop turning.
        g_main_context_iteration(nullptr, TRUE);
    }
    return true;
}

namespace {

bool AnyFolderChooserLeft() {
    if (!gdk_display_get_default()) return false;
    GList* windows = gtk_window_list_toplevels();
    bool left = false;
    for (GList* item = windows; item && !left; item = item->next) left = GTK_IS_FILE_CHOOSER_DIALOG(item->data);
    g_list_free(windows);
    return left;
}

// An answered folder chooser is hidden at once and destroyed a moment later; a run waits for the
// last one to go, so that nothing of it is left when the program ends.
class FolderChoosersGone : public ::testing::Environment {
public:
    void TearDown() override { EXPECT_TRUE(PumpUntil([] { return !AnyFolderChooserLeft(); }, 5000)); }
};

::testing::Environment* const kFolderChoosersGone = ::testing::AddGlobalTestEnvironment(new FolderChoosersGone);

}  // namespace

StatsLog::StatsLog() : path_(MakeTempFolder() + "/stats.log") { setenv("RELIKORDA_STATS_LOG", path_.c_str(), 1); }

StatsLog::~StatsLog() {
    unlink(path_.c_str());
    unsetenv("RELIKORDA_STATS_LOG");
}

std::vector<std::string> StatsLog::Lines() const {
    std::vector<std::string> lines;
    std::istringstream text(ReadText(path_));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

void StatsLog::Clear() const { unlink(path_.c_str()); }
