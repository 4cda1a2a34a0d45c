#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <utility>

#include "sqlite_recovery/framework/IProgress.h"

class CDeviceFolder;
class ICommon;

// What the console front's jobs share: the progress lines, the holding of library objects and the
// places a phone keeps its databases.

// What a job tells of its progress. The console shows it as text; another front may draw a bar.
class IJobProgress {
public:
    virtual ~IJobProgress();
    // The share of the phase done so far, 0 to 1.
    virtual void Update(const std::string& phase, double share) = 0;
    virtual void Finish(const std::string& phase) = 0;
    // The phase ended without its work done; what tells why ("failed (error 1)").
    virtual void Fail(const std::string& phase, const std::string& what) = 0;
};

// The seconds a phase still takes at the pace so far, once that can be judged (enough done, long
// enough running); false before.
bool EstimateSecondsLeft(double share, double elapsedSeconds, long* seconds);

// The sink a recovery library reports to: its records become the share of one phase.
class LibraryProgress : public IProgress {
public:
    LibraryProgress(IJobProgress* progress, std::string phase) : progress_(progress), phase_(std::move(phase)) {}
    void OnProgress(const PROGRESS_INFO* record) override;
    void OnDataChanged(int) override {}
    int ShouldContinue() override { return 1; }

private:
    IJobProgress* progress_;
    std::string phase_;
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

// What a database scan answers when its database could be read only in part (said on standard
// error): the job fails, as for a file that could not be written, and the records read are kept.
constexpr int kScanReadInPart = 2;

// Says on standard error what of its database the analyser could not read (pages lost, the header
// lost); true when anything was.
bool TellDatabaseDamage(ICommon* analyser, const char* database);

// True when the device holds one of the databases of the list.
bool HoldsAnyOf(CDeviceFolder& device, const char* const (&paths)[4]);

// True when the phone holds a database or a storage volume that can be read: a phone with
// neither has nothing to recover from (most likely the wrong folder or file was given).
bool HoldsAnythingToRead(CDeviceFolder& phone);
