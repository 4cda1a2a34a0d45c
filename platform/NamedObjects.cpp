#include "platform/NamedObjects.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace platform {

namespace {
constexpr unsigned kPollMs = 20;

void SleepMs(unsigned ms) {
    timespec pause{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

long long NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
}  // namespace

bool IsPrivateFolder(const std::string& path) {
    struct stat status {};
    if (path.empty() || ::lstat(path.c_str(), &status) != 0) return false;
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

std::string SessionObjectFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && IsPrivateFolder(runtime)) return runtime;
    // The shared temporary folder holds one folder per user; one made by anybody else is refused.
    const char* temporary = std::getenv("TMPDIR");
    const std::string own = std::string(temporary && *temporary ? temporary : "/tmp") + "/relikorda-" +
                            std::to_string(static_cast<unsigned long>(::geteuid()));
    if (::mkdir(own.c_str(), 0700) != 0 && errno != EEXIST) return std::string();
    return IsPrivateFolder(own) ? own : std::string();
}

NamedMutex::Open NamedMutex::Create(const std::string& name) {
    Close();
    const std::string folder = SessionObjectFolder();
    if (folder.empty()) return Open::Failed;
    const std::string path = folder + "/" + name + ".lock";
    // Not inherited: a program this one starts must not keep the name alive.
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0) return errno == EACCES || errno == EPERM ? Open::AccessDenied : Open::Failed;
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        owned_ = true;
        return Open::Owned;
    }
    return errno == EWOULDBLOCK ? Open::AlreadyExists : Open::Failed;
}

bool NamedMutex::Wait(unsigned milliseconds) {
    if (fd_ < 0) return false;
    if (owned_) return true;
    const long long deadline = NowMs() + milliseconds;
    for (;;) {
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            owned_ = true;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) return false;
        const long long left = deadline - NowMs();
        if (left <= 0) return false;
        SleepMs(left < kPollMs ? static_cast<unsigned>(left) : kPollMs);
    }
}

void NamedMutex::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    owned_ = false;
}

std::string NamedEvent::SystemName(const std::string& name) { return SystemNameIn(SessionObjectFolder(), name); }

std::string NamedEvent::SystemNameIn(const std::string& folder, const std::string& name) {
    // One name per session: a short hash of the session folder.
    unsigned hash = 2166136261u;
    for (char c : folder) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", hash);
    return "/" + name + "." + tag;
}

bool NamedEvent::Create(const std::string& name) {
    Close();
    semaphore_ = sem_open(SystemName(name).c_str(), O_CREAT, 0600, 0);
    return semaphore_ != SEM_FAILED;
}

bool NamedEvent::Set() { return semaphore_ != SEM_FAILED && sem_post(semaphore_) == 0; }

bool NamedEvent::Wait(unsigned milliseconds) {
    if (semaphore_ == SEM_FAILED) return false;
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += milliseconds / 1000;
    until.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    for (;;) {
        if (sem_timedwait(semaphore_, &until) == 0) return true;
        if (errno != EINTR) return false;
    }
}

void NamedEvent::Close() {
    if (semaphore_ != SEM_FAILED) sem_close(semaphore_);
    semaphore_ = SEM_FAILED;
}

bool NamedEvent::Remove(const std::string& name) { return sem_unlink(SystemName(name).c_str()) == 0; }

bool NamedEvent::RemoveIn(const std::string& folder, const std::string& name) {
    return sem_unlink(SystemNameIn(folder, name).c_str()) == 0;
}

}  // namespace platform
