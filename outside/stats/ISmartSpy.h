#pragma once
#include <cstdint>

#include "platform/Export.h"

// The usage-statistics object of the outside library, as "GetSmartSpy" returns it. Only the slots
// the product calls are named; the others keep the order. The library owns the object.
class RK_INTERFACE ISmartSpy {
public:
    virtual void Finish() = 0;                                   // slot 0: last call before exit
    virtual void Reserved1() = 0;                                // slot 1
    virtual void SetPair(int first, int second) = 0;             // slot 2
    virtual void Reserved3() = 0;                                // slot 3
    virtual void SetValue(int id, int64_t value) = 0;            // slot 4
    virtual void SetTextW(int id, const wchar_t* text) = 0;      // slot 5: the installer's page event
    virtual void SetText(int id, const char* text) = 0;          // slot 6
    virtual void Reserved7() = 0;                                // slot 7
    virtual void AddEvent(int event) = 0;                        // slot 8

protected:
    ~ISmartSpy() = default;
};

// Exports of the library.
using GetSmartSpyFn = ISmartSpy* (*)();
using SpySetTextExAFn = int (*)(int id, const char* text);
// The installer's: the install event with the user's consent, and a wide text event.
using InstallSpyFn = int (*)(int joined, int reserved);
using SpySetTextExFn = int (*)(int id, const wchar_t* text);
