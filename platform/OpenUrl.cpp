#include "platform/OpenUrl.h"

#include <gio/gio.h>
#include <sys/stat.h>

#include <cstdlib>

namespace platform {

bool IsWebAddress(const std::string& target) {
    if (target.find_first_of("\r\n") != std::string::npos) return false;
    GUri* uri = g_uri_parse(target.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return false;
    const char* scheme = g_uri_get_scheme(uri);
    const char* host = g_uri_get_host(uri);
    bool web = scheme && (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
               host && *host;
    g_uri_unref(uri);
    return web;
}

namespace {

std::string FolderUri(const std::string& target) {
    struct stat st;
    if (target.empty() || stat(target.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::string();
    char* absolute = realpath(target.c_str(), nullptr);
    if (!absolute) return std::string();
    gchar* uri = g_filename_to_uri(absolute, nullptr, nullptr);
    std::free(absolute);
    std::string result = uri ? uri : "";
    g_free(uri);
    return result;
}

}  // namespace

std::string UrlToOpen(const std::string& target) {
    if (target.find_first_of("\r\n") != std::string::npos) return std::string();
    if (IsWebAddress(target)) return target;
    return FolderUri(target);
}

bool OpenUrl(const std::string& target) {
    const std::string uri = UrlToOpen(target);
    if (uri.empty()) return false;
    if (g_app_info_launch_default_for_uri(uri.c_str(), nullptr, nullptr)) return true;
    // No handler known to GIO: the desktop's own opener, as a separate argument (no shell).
    const gchar* argv[] = {"xdg-open", uri.c_str(), nullptr};
    return g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr,
                         static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                                  G_SPAWN_STDERR_TO_DEV_NULL),
                         nullptr, nullptr, nullptr, nullptr);
}

}  // namespace platform
