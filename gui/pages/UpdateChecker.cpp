#include "gui/pages/UpdateChecker.h"

#include <curl/curl.h>
#include <glib.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CUIPublic.h"
#include "outside/widgets/CBPIniParser.h"
#include "platform/DebugOutput.h"
#include "sqlite_recovery/framework/Lockers.h"

namespace {

// Only the first bytes of the answer are read.
constexpr size_t kAnswerRead = 255;

struct ThreadArgs {
    UpdateChecker* checker;
    std::string link;
    bool hasLocal;
    std::string local;
};

struct Sink {
    FILE* file;
    long written;
    long largest;
};

size_t WriteAnswer(char* data, size_t size, size_t count, void* userData) {
    auto* sink = static_cast<Sink*>(userData);
    const size_t bytes = size * count;
    // A longer answer than any update description is refused: returning short ends the transfer.
    if (sink->written + static_cast<long>(bytes) > sink->largest) return 0;
    const size_t stored = std::fwrite(data, 1, bytes, sink->file);
    sink->written += static_cast<long>(stored);
    return stored;
}

// The transfer's trace goes to the debug output, never to the console.
int TraceTransfer(CURL*, curl_infotype type, char* data, size_t size, void*) {
    if (type != CURLINFO_TEXT) return 0;
    platform::OutputDebugStringA(std::string(data, size).c_str());
    return 0;
}

}  // namespace

UpdateChecker* UpdateChecker::Instance() {
    static UpdateChecker* checker = new UpdateChecker;
    return checker;
}

std::string UpdateChecker::GetUrl() const {
    autolocker<critical_locker> guard(&lock_);
    return url_;
}

std::string UpdateChecker::GetVersion() const {
    autolocker<critical_locker> guard(&lock_);
    return version_;
}

void UpdateChecker::StartThread() {
    int idle = STATE_DONE;
    if (!state_.compare_exchange_strong(idle, STATE_STARTED)) return;
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    auto* args = new ThreadArgs{this, GetLangLink("UpdateURL"), false, std::string()};
    if (gchar* local = CUIPublic::Instance()->GetConfig()->GetKeyValueStr("CheckUpdate", "VersionForCheck")) {
        args->hasLocal = true;
        args->local = local;
        g_free(local);
    }
    GThread* thread = g_thread_try_new("update-check", &UpdateChecker::ThreadProc, args, nullptr);
    if (thread) {
        g_thread_unref(thread);
        return;
    }
    delete args;
    result_ = RESULT_FAILED;
    state_ = STATE_DONE;
}

void* UpdateChecker::ThreadProc(void* data) {
    auto* args = static_cast<ThreadArgs*>(data);
    UpdateChecker* checker = args->checker;
    checker->state_ = STATE_CHECKING;
    const int result = checker->Check(args->link, args->hasLocal ? args->local.c_str() : nullptr);
    delete args;
    checker->result_ = result;
    checker->state_ = STATE_DONE;
    return nullptr;
}

int UpdateChecker::Check(const std::string& link, const char* local) {
    if (link.empty() || !local) return RESULT_FAILED;
    UpdateInfo info;
    const bool downloaded = Download(link, &info);
    if (info.file) std::fclose(info.file);
    if (!downloaded) return RESULT_FAILED;
    if (ParseVersion(local) >= ParseVersion(info.version.c_str())) return RESULT_LATEST;
    autolocker<critical_locker> guard(&lock_);
    url_ = info.url;
    if (url_.empty()) return RESULT_FAILED;
    version_ = info.version;
    return RESULT_NEWER;
}

bool UpdateChecker::Download(const std::string& url, UpdateInfo* info) {
    if (url.empty() || !info) return false;
    CURL* curl = curl_easy_init();
    if (!curl) return false;
    info->file = std::fopen(answerFile_.c_str(), "w+b");
    if (!info->file) {
        curl_easy_cleanup(curl);
        return false;
    }
    Sink sink{info->file, 0, limits_.largestAnswer};
    bool ok = curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK;
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, &TraceTransfer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    ok = ok && curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_HEADER, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteAnswer) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, limits_.connectSeconds) == CURLE_OK;
    // A server that stops sending, or sends too slowly, must not hold the check for ever.
    ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits_.stallSeconds) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_TIMEOUT, limits_.totalSeconds) == CURLE_OK;
    ok = ok && curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
    ok = ok && curl_easy_perform(curl) == CURLE_OK;
    // Only a found answer is one: an error page is no update description.
    long status = 0;
    ok = ok && curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK && status == 200;
    std::fflush(info->file);
    if (ok) Parse(info);
    std::fclose(info->file);
    info->file = nullptr;
    std::remove(answerFile_.c_str());
    curl_easy_cleanup(curl);
    return ok;
}

void UpdateChecker::Parse(UpdateInfo* info) {
    char buffer[kAnswerRead + 1] = {};
    std::rewind(info->file);
    const size_t read = std::fread(buffer, 1, kAnswerRead, info->file);
    ParseUpdateAnswer(buffer, read, info);
}
