#include "platform/FolderBrowser.h"

#include <gtk/gtk.h>
#include <sys/stat.h>

namespace platform {

namespace {

// One question to the main thread; the asking thread waits on done.
struct Request {
    std::string ownerTitle, title, initialFolder;
    GMutex mutex;
    GCond answered;
    bool done = false;
    bool accepted = false;
    std::string path;
};

std::string TrimEnd(const char* text) {
    std::string value = text ? text : "";
    const size_t end = value.find_last_not_of(' ');
    return end == std::string::npos ? std::string() : value.substr(0, end + 1);
}

GtkWindow* FindOwner(const std::string& title) {
    const std::string wanted = TrimEnd(title.c_str());
    if (wanted.empty()) return nullptr;
    GtkWindow* owner = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item && !owner; item = item->next) {
        GtkWindow* window = GTK_WINDOW(item->data);
        if (gtk_widget_get_visible(GTK_WIDGET(window)) && TrimEnd(gtk_window_get_title(window)) == wanted)
            owner = window;
    }
    g_list_free(windows);
    return owner;
}

bool IsFolder(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void Answer(Request* request, bool accepted, const std::string& path) {
    g_mutex_lock(&request->mutex);
    request->accepted = accepted;
    request->path = path;
    request->done = true;
    g_cond_broadcast(&request->answered);
    g_mutex_unlock(&request->mutex);
}

// GTK 2's chooser hands a folder's listing to its file list up to half a second after entering the
// folder, and does not stop that when destroyed: answered sooner, while one of its own pending
// look-ups still holds it, it hands the listing to the freed list. So it is hidden at once (which
// cancels a folder change still under way) and destroyed only after that delay.
constexpr guint kListingDelayMs = 500 + 250;

gboolean DestroyChooser(gpointer dialog) {
    gtk_widget_destroy(GTK_WIDGET(dialog));
    return FALSE;
}

void OnResponse(GtkDialog* dialog, gint response, gpointer data) {
    std::string path;
    if (response == GTK_RESPONSE_ACCEPT) {
        if (gchar* name = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog))) {
            path = name;
            g_free(name);
        }
    }
    g_signal_handlers_disconnect_by_func(dialog, reinterpret_cast<gpointer>(&OnResponse), data);
    gtk_widget_hide(GTK_WIDGET(dialog));
    gtk_widget_unrealize(GTK_WIDGET(dialog));
    g_timeout_add(kListingDelayMs, &DestroyChooser, dialog);
    Answer(static_cast<Request*>(data), !path.empty(), path);
}

// Runs on the main thread: shows the chooser and returns; OnResponse answers.
gboolean ShowChooser(gpointer data) {
    auto* request = static_cast<Request*>(data);
    GtkWindow* owner = FindOwner(request->ownerTitle);
    GtkWidget* dialog = gtk_file_chooser_dialog_new(request->title.c_str(), owner, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                                    GTK_STOCK_CANCEL, GTK_RESPONSE_CANCEL, GTK_STOCK_OK,
                                                    GTK_RESPONSE_ACCEPT, nullptr);
    gtk_file_chooser_set_local_only(GTK_FILE_CHOOSER(dialog), TRUE);
    gtk_file_chooser_set_create_folders(GTK_FILE_CHOOSER(dialog), TRUE);
    if (IsFolder(request->initialFolder))
        gtk_file_chooser_set_current_folder(GTK_FILE_CHOOSER(dialog), request->initialFolder.c_str());
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    g_signal_connect(dialog, "response", G_CALLBACK(&OnResponse), request);
    gtk_widget_show(dialog);
    return FALSE;
}

}  // namespace

bool BrowseForFolder(const std::string& ownerTitle, const std::string& title, const std::string& initialFolder,
                     std::string* chosen) {
    Request request;
    request.ownerTitle = ownerTitle;
    request.title = title;
    request.initialFolder = initialFolder;
    g_mutex_init(&request.mutex);
    g_cond_init(&request.answered);

    GMainContext* main = g_main_context_default();
    if (g_main_context_is_owner(main)) {
        // Called from a handler on the main thread: show the chooser here and turn the loop.
        ShowChooser(&request);
        while (!request.done) g_main_context_iteration(main, TRUE);
    } else {
        // Always through the loop, never shown by this thread even when it could take the context.
        g_idle_add_full(G_PRIORITY_DEFAULT, &ShowChooser, &request, nullptr);
        g_mutex_lock(&request.mutex);
        while (!request.done) g_cond_wait(&request.answered, &request.mutex);
        g_mutex_unlock(&request.mutex);
    }
    g_cond_clear(&request.answered);
    g_mutex_clear(&request.mutex);
    if (request.accepted && chosen) *chosen = request.path;
    return request.accepted;
}

}  // namespace platform
