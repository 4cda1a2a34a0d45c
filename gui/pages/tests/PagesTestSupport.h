#pragma once
#include <gtk/gtk.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gui/shell/tests/QuietController.h"
#include "testing/FakeDesktop.h"
#include "sqlite_recovery/framework/IProgress.h"

// A small HTTP/1.0 server on 127.0.0.1, on a thread of its own, one connection at a time.
class TestHttpServer {
public:
    struct Reply {
        int status = 200;
        std::string body;
        // The headers go out, then nothing until Release or the server stops.
        bool stall = false;
    };
    using Handler = std::function<Reply(const std::string& path)>;

    TestHttpServer();
    ~TestHttpServer();
    int Port() const { return port_; }
    std::string Url(const std::string& path) const;
    void SetHandler(Handler handler);
    // Lets a stalled reply end (its connection closes without the body).
    void Release();
    int Requests() const { return requests_.load(); }

private:
    void Serve();
    void Answer(int client);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> released_{false};
    std::atomic<int> requests_{0};
    std::mutex mutex_;
    Handler handler_;
    std::thread thread_;
};

// A port on 127.0.0.1 that nothing listens on.
int UnusedPort();

// Waits until the desktop was asked to open count things.
bool WaitOpened(const FakeDesktop& desktop, size_t count, int timeoutMs = 10000);

// A recovery object as the logic's: Start notes its arguments, and the test then has files written
// and progress records posted one by one.
class ScriptedRecoveryJob : public IRecoveryJob {
public:
    void Start(const char* destDir, IResourceReader* texts, int category) override;
    IItemReader* OpenItem(const _ARCHIVE_INFOMATION*) override { return nullptr; }
    void Stop() override { ++stops; }

    // Writes a file of the given name into the destination and posts a running record; false
    // (and a finished failure record with error 15) when it cannot be written.
    bool WriteItem(const std::string& name, const std::string& contents, uint64_t done, uint64_t total);
    static void Post(uint32_t state, uint64_t total, uint64_t done, uint64_t result, const std::string& name);

    int starts = 0;
    int stops = 0;
    std::string destination;
    IResourceReader* texts = nullptr;
    int category = 0;
};

// A controller whose payloads are those the notification centre keeps, with the scripted job.
class ScriptedController : public QuietController {
public:
    ResultCode GetMsg(unsigned id, void* buf, unsigned* len) override;
    IRecoveryJob* GetRecoveryObject() override { return withJob ? &job : nullptr; }
    ResultCode Stop() override {
        ++stops;
        return RK_OK;
    }

    ScriptedRecoveryJob job;
    bool withJob = true;
    bool failFetch = false;
    int stops = 0;
};

// A progress record as the logic sends it.
PROGRESS_INFO MakeProgress(uint32_t state, uint64_t total, uint64_t done, uint64_t result, const std::string& name);

// The shown folder chooser, or null.
GtkWidget* FindFolderChooser();
int CountFolderChoosers();
// Answers the chooser: the folder (once it is the chooser's current one), or Cancel for "".
bool AnswerFolderChooser(GtkWidget* chooser, const std::string& folder);
// The chooser's current folder.
std::string ChooserFolder(GtkWidget* chooser);
// A shown top-level window of the given title.
GtkWidget* FindShownWindow(const std::string& title);
// The href of the first link in a label's markup, entities undone.
std::string FirstLinkOf(GtkWidget* label);

class CScanSelectedBottom;
class CScanTree;

// The left button pressed (GDK_BUTTON_PRESS) or let go (GDK_BUTTON_RELEASE) over the widget, as
// the pointer gives it.
void SendLeftButton(GtkWidget* widget, GdkEventType type);
// A press on a row of the category tree.
void PressTreeRow(CScanTree* tree, int index);

// The result page's bottom bar in a window of its own, over a logic controller.
struct BarWindow {
    GtkWidget* window = nullptr;
    CScanSelectedBottom* bar = nullptr;

    BarWindow();
    ~BarWindow() { Close(); }
    // The controller the bar and its recovery window reach through the application's services,
    // in place of the one bound there.
    void Bind(ILogicalController* controller);
    // The bar and window gone, a controller of Bind unbound; again does nothing.
    void Close();
    // Recover pressed, the chooser answered with folder ("" cancels); true once the choice ended.
    // openedOn receives the folder the chooser opened on.
    bool Recover(const std::string& folder, std::string* openedOn = nullptr);

private:
    bool bound_ = false;
};

// A folder that takes no files: a read-only file system for root (who writes anywhere), else
// a folder without write permission. Gone with the object.
class ReadOnlyFolder {
public:
    ReadOnlyFolder();
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;
    bool Ready() const { return ready_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    bool mounted_ = false;
    bool ready_ = false;
};

// What the pages' tests share: a scratch tree as the working folder's parent, a desktop of their
// own, and the HTTP server that the language file's "UpdateURL" names.
struct PagesWorld {
    TestHttpServer* server = nullptr;
    FakeDesktop* desktop = nullptr;
    std::string bin;
};
PagesWorld& World();
