#pragma once
#include <semaphore.h>

#include <string>

namespace platform {

// Named objects live in the user's session, as on the system the product was written for: their
// files go to $XDG_RUNTIME_DIR, or without one to "<$TMPDIR or /tmp>/relikorda-<uid>", made on first
// use. Either must be the user's own folder (not a link, no rights for others), so that no other
// user sees, holds or makes the names; "" when there is none (named objects then cannot be made).
std::string SessionObjectFolder();
// A folder only this user reaches: a folder itself (not a link), owned by the user, no rights for
// group or others.
bool IsPrivateFolder(const std::string& path);

// A named mutex: an exclusive lock on the file "<session folder>/<name>.lock". The lock goes with
// the process (or with Close), so a process that ends or crashes always gives the name up.
class NamedMutex {
public:
    enum class Open {
        Owned,          // this process holds the name now
        AlreadyExists,  // another process holds it; Wait may take it over later
        AccessDenied,   // the lock file may not be opened
        Failed,         // no lock file could be made
    };

    NamedMutex() = default;
    ~NamedMutex() { Close(); }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    Open Create(const std::string& name);
    // True when the name was taken within the time (or was held already).
    bool Wait(unsigned milliseconds);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    bool IsOwned() const { return owned_; }

private:
    int fd_ = -1;
    bool owned_ = false;
};

// A named event over a POSIX named semaphore of the session: each Set lets one Wait through. Set
// may be called from a signal handler.
class NamedEvent {
public:
    NamedEvent() = default;
    ~NamedEvent() { Close(); }
    NamedEvent(const NamedEvent&) = delete;
    NamedEvent& operator=(const NamedEvent&) = delete;

    // The semaphore's system name for an event name ("/<name>.<session tag>").
    static std::string SystemName(const std::string& name);
    // The same for the session whose objects are in folder (another user's; "" for none).
    static std::string SystemNameIn(const std::string& folder, const std::string& name);
    // Opens the event, making it (not signalled) when it does not exist.
    bool Create(const std::string& name);
    // Signals it: async-signal-safe.
    bool Set();
    // True when it was signalled within the time; takes the signal.
    bool Wait(unsigned milliseconds);
    void Close();
    // Removes the name from the system; opened handles stay usable.
    static bool Remove(const std::string& name);
    static bool RemoveIn(const std::string& folder, const std::string& name);

private:
    sem_t* semaphore_ = SEM_FAILED;
};

}  // namespace platform
