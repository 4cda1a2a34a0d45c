#include "gui/pages/tests/PagesTestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>

#include "gui/pages/ScanSelectedBottom.h"
#include "gui/pages/ScanTree.h"
#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/RelikordaMsg.h"
#include "gui/shell/tests/GuiTestSupport.h"
#include "outside/widgets/CBPButton.h"
#include "outside/widgets/CBPImgTxtLabel.h"

namespace {

int Listen(int* port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    const int yes = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

void SendAll(int fd, const std::string& text) {
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += static_cast<size_t>(n);
    }
}

}  // namespace

TestHttpServer::TestHttpServer() {
    listener_ = Listen(&port_);
    handler_ = [](const std::string&) { return Reply{404, "", false}; };
    thread_ = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
    stop_ = true;
    thread_.join();
    if (listener_ >= 0) close(listener_);
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::SetHandler(Handler handler) {
    std::lock_guard<std::mutex> guard(mutex_);
    handler_ = std::move(handler);
    released_ = false;
}

void TestHttpServer::Release() { released_ = true; }

void TestHttpServer::Serve() {
    while (!stop_) {
        pollfd entry{listener_, POLLIN, 0};
        if (poll(&entry, 1, 50) <= 0) continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        Answer(client);
        close(client);
    }
}

void TestHttpServer::Answer(int client) {
    std::string request;
    char buffer[1024];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
        pollfd entry{client, POLLIN, 0};
        if (poll(&entry, 1, 2000) <= 0) return;
        const ssize_t n = recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<size_t>(n));
    }
    ++requests_;
    std::string path;
    std::istringstream(request) >> path >> path;
    Reply reply;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        reply = handler_(path);
    }
    std::string head = "HTTP/1.0 " + std::to_string(reply.status) + " Test\r\nContent-Type: text/plain\r\n";
    head += "Content-Length: " + std::to_string(reply.stall ? reply.body.size() + 100 : reply.body.size()) + "\r\n\r\n";
    SendAll(client, head);
    if (!reply.stall) {
        SendAll(client, reply.body);
        return;
    }
    // Part of the body, then silence.
    SendAll(client, reply.body);
    while (!stop_ && !released_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

int UnusedPort() {
    int port = 0;
    const int fd = Listen(&port);
    if (fd >= 0) close(fd);
    return port;
}

bool WaitOpened(const FakeDesktop& desktop, size_t count, int timeoutMs) {
    return PumpUntil([&] { return desktop.Opened().size() >= count; }, timeoutMs);
}

PROGRESS_INFO MakeProgress(uint32_t state, uint64_t total, uint64_t done, uint64_t result, const std::string& name) {
    PROGRESS_INFO record;
    std::memset(&record, 0, sizeof record);
    record.state = state;
    record.total = total;
    record.done = done;
    record.result = result;
    std::memcpy(record.text, name.data(), std::min(name.size(), sizeof record.text - 1));
    return record;
}

void ScriptedRecoveryJob::Start(const char* destDir, IResourceReader* resourceReader, int itemCategory) {
    ++starts;
    destination = destDir ? destDir : "";
    texts = resourceReader;
    category = itemCategory;
}

void ScriptedRecoveryJob::Post(uint32_t state, uint64_t total, uint64_t done, uint64_t result,
                               const std::string& name) {
    const PROGRESS_INFO record = MakeProgress(state, total, done, result, name);
    CNotifyCentor::Instance()->Notify(MSG_RECOVERY_PROGRESS, &record, sizeof record);
}

bool ScriptedRecoveryJob::WriteItem(const std::string& name, const std::string& contents, uint64_t done,
                                    uint64_t total) {
    std::ofstream out(destination + name, std::ios::binary);
    out << contents;
    out.close();
    if (!out) {
        // As the logic does: a final record with the write failure.
        Post(PROGRESS_STATE_FINISHED, total, done, MakeFailure(__LINE__, 15), name);
        return false;
    }
    Post(PROGRESS_STATE_RUNNING, total, done, 0, name);
    return true;
}

ResultCode ScriptedController::GetMsg(unsigned id, void* buf, unsigned* len) {
    if (failFetch || !buf || !len) return RK_FAIL(RK_E_NOT_FOUND);
    void* target = buf;
    return CNotifyCentor::Instance()->GetPayload(id, &target, len) ? RK_OK : RK_FAIL(RK_E_NOT_FOUND);
}

namespace {

std::vector<GtkWidget*> ShownToplevels() {
    std::vector<GtkWidget*> shown;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item; item = item->next) {
        GtkWidget* window = GTK_WIDGET(item->data);
        if (gtk_widget_get_mapped(window)) shown.push_back(window);
    }
    g_list_free(windows);
    return shown;
}

}  // namespace

GtkWidget* FindFolderChooser() {
    for (GtkWidget* window : ShownToplevels()) {
        if (GTK_IS_FILE_CHOOSER_DIALOG(window)) return window;
    }
    return nullptr;
}

int CountFolderChoosers() {
    int count = 0;
    for (GtkWidget* window : ShownToplevels()) count += GTK_IS_FILE_CHOOSER_DIALOG(window) ? 1 : 0;
    return count;
}

std::string ChooserFolder(GtkWidget* chooser) {
    gchar* folder = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(chooser));
    std::string path = folder ? folder : "";
    g_free(folder);
    return path;
}

bool AnswerFolderChooser(GtkWidget* chooser, const std::string& folder) {
    if (!chooser) return false;
    if (folder.empty()) {
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        return true;
    }
    gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(chooser), folder.c_str());
    if (!PumpUntil([&] { return ChooserFolder(chooser) == folder; })) return false;
    gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_ACCEPT);
    return true;
}

void SendLeftButton(GtkWidget* widget, GdkEventType type) {
    GdkEventButton event{};
    event.type = type;
    event.button = 1;
    event.window = widget->window;
    gboolean handled = FALSE;
    g_signal_emit_by_name(widget, type == GDK_BUTTON_PRESS ? "button-press-event" : "button-release-event", &event,
                          &handled);
}

void PressTreeRow(CScanTree* tree, int index) { SendLeftButton(tree->GetRow(index)->GetWidget(), GDK_BUTTON_PRESS); }

GtkWidget* FindShownWindow(const std::string& title) {
    for (GtkWidget* window : ShownToplevels()) {
        const char* name = gtk_window_get_title(GTK_WINDOW(window));
        if (name && title == name) return window;
    }
    return nullptr;
}

std::string FirstLinkOf(GtkWidget* label) {
    const std::string markup = gtk_label_get_label(GTK_LABEL(label));
    const size_t start = markup.find("href=\"");
    if (start == std::string::npos) return std::string();
    const size_t end = markup.find('"', start + 6);
    std::string href = markup.substr(start + 6, end - start - 6);
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& entity : entities) {
        for (size_t at = href.find(entity.first); at != std::string::npos; at = href.find(entity.first, at + 1))
            href.replace(at, std::strlen(entity.first), entity.second);
    }
    return href;
}

BarWindow::BarWindow() : window(gtk_window_new(GTK_WINDOW_TOPLEVEL)), bar(new CScanSelectedBottom) {
    gtk_window_set_default_size(GTK_WINDOW(window), 700, -1);
    gtk_container_add(GTK_CONTAINER(window), bar->GetWidget());
    bar->Show();
    gtk_widget_show(window);
}

void BarWindow::Bind(ILogicalController* controller) {
    CUIPublic::Instance()->SetLogicalController(controller);
    bound_ = true;
}

void BarWindow::Close() {
    if (!window) return;
    delete bar;
    bar = nullptr;
    gtk_widget_destroy(window);
    window = nullptr;
    if (bound_) CUIPublic::Instance()->SetLogicalController(nullptr);
    bound_ = false;
}

bool BarWindow::Recover(const std::string& folder, std::string* openedOn) {
    gtk_button_clicked(GTK_BUTTON(bar->GetRecoverButton()->GetWidget()));
    GtkWidget* chooser = nullptr;
    if (!PumpUntil([&] { return (chooser = FindFolderChooser()) != nullptr; })) return false;
    if (openedOn) {
        // The chooser takes its first folder in a moment.
        PumpUntil([&] { return !ChooserFolder(chooser).empty(); }, 3000);
        *openedOn = ChooserFolder(chooser);
    }
    return AnswerFolderChooser(chooser, folder) && PumpUntil([&] { return !bar->IsChoosing(); });
}

ReadOnlyFolder::ReadOnlyFolder() : path_(MakeTempFolder()) {
    if (geteuid() == 0) {
        mounted_ = mount("tmpfs", path_.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0;
        ready_ = mounted_;
    } else {
        ready_ = chmod(path_.c_str(), 0555) == 0;
    }
}

ReadOnlyFolder::~ReadOnlyFolder() {
    // Detached: the file chooser may still hold the folder open, and a plain unmount would then
    // leave it mounted after the test.
    if (mounted_) umount2(path_.c_str(), MNT_DETACH);
    chmod(path_.c_str(), 0755);
    rmdir(path_.c_str());
}
