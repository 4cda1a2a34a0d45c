#pragma once
#include <cstdio>
#include <memory>

#include "sqlite_recovery/framework/IProgress.h"

class CDeviceFolder;

// What the console front's jobs share: the progress lines, the holding of library objects and the
// places a phone keeps its databases.

// Prints "<label>: recovering N%" once per change of the percentage ("done" at the end), so that
// a log shows the run moving.
class ConsoleProgress : public IProgress {
public:
    ConsoleProgress(std::FILE* report, const char* label) : report_(report), label_(label) {}
    void OnProgress(const PROGRESS_INFO* record) override;
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }

private:
    std::FILE* report_;
    const char* label_;
    int last_ = -1;
};

// Holds an object of a recovery library and gives it back with Release.
template <class T>
struct Releaser {
    void operator()(T* object) const {
        if (object) object->Release();
    }
};
template <class T>
using Held = std::unique_ptr<T, Releaser<T>>;

// Where the phones keep the contacts database and the SMS/MMS database, by device path; the
// first of each is the stock Android place.
extern const char* const kContactsDatabases[4];
extern const char* const kSmsDatabases[4];

// True when the device holds one of the databases of the list.
bool HoldsAnyOf(CDeviceFolder& device, const char* const (&paths)[4]);
