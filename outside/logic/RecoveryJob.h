#pragma once
#include <cstdio>
#include <memory>
#include <string>

class CDeviceFolder;
class ContactsRun;
class IJobProgress;

// What every job of a headless run shares: the phone, the run's own folder, and what earlier
// jobs left for later ones.
struct JobContext {
    CDeviceFolder* device = nullptr;
    std::string out;          // the run's folder, made new for it; nothing is written anywhere else
    std::FILE* report = stdout;
    IJobProgress* progress = nullptr;  // may be null: nobody watches
    // What the contacts job found, kept alive for the SMS/MMS job (which names partners from it
    // and then lets it go); null when the phone has no contacts database.
    std::shared_ptr<ContactsRun> contacts;
};

// A job returns 0 when it did its work and non-zero when some of it failed. Every job of a run
// runs, whatever the ones before it returned.
using RecoveryJob = int (*)(JobContext& context);

// The jobs, each in its own source file, in the order the run calls them.
int ListDeviceJob(JobContext& context);
int ContactsJob(JobContext& context);
