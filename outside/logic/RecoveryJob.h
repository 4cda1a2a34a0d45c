#pragma once
#include <cstdio>
#include <memory>
#include <string>

class CDeviceFolder;
class ContactsRun;

// What every job of a headless run shares: the phone, the folder the user chose, and what earlier
// jobs left for later ones.
struct JobContext {
    CDeviceFolder* device = nullptr;
    std::string out;          // exists when the jobs run; nothing is written anywhere else
    std::FILE* report = stdout;
    // What the contacts job found, kept alive for the SMS/MMS job (which names partners from it);
    // null when the phone has no contacts database.
    std::shared_ptr<ContactsRun> contacts;
};

// A job returns 0 when it did its work; any other value is the exit code of the run, which stops
// there.
using RecoveryJob = int (*)(JobContext& context);

// The jobs, each in its own source file, in the order the run calls them.
int ListDeviceJob(JobContext& context);
int ContactsJob(JobContext& context);
