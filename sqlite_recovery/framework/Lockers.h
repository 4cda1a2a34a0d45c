#pragma once
#include "sqlite_recovery/framework/IDataContainer.h"
#include "platform/CriticalSection.h"

// Base of classes that must not be copied or assigned.
class none_copyable {
public:
    none_copyable() = default;
    virtual ~none_copyable() {}
    none_copyable(const none_copyable&) = delete;
    none_copyable& operator=(const none_copyable&) = delete;
};

// The lock kind that wraps a critical section.
class critical_locker {
public:
    explicit critical_locker(CRITICAL_SECTION* section) : section_(section) {}
    void lock() { if (section_) section_->Enter(); }
    void unlock() { if (section_) section_->Leave(); }

private:
    CRITICAL_SECTION* section_;
};

template <class L>
class autolocker;

// Enters a critical section for the life of the guard.
template <>
class autolocker<critical_locker> : public none_copyable {
public:
    explicit autolocker(CRITICAL_SECTION* section) : locker_(section) { locker_.lock(); }
    ~autolocker() override { locker_.unlock(); }

private:
    critical_locker locker_;
};

// Holds a result container's lock for the life of the guard; a null container is ignored.
template <class C>
class autolocker<C*> : public none_copyable {
public:
    explicit autolocker(C* container) : container_(container) { if (container_) container_->Lock(); }
    ~autolocker() override { if (container_) container_->Unlock(); }

private:
    C* container_;
};
