#pragma once
#include "sqlite_recovery/framework/ICommon.h"

// A line that begins with this tells of something a recovery could not give whole (a value cut
// short): the outside logger shows it on standard error as well as in the log.
constexpr char kLogWarningPrefix[] = "warning: ";

// The outside logger: one printf-style line per call, from any thread. Never released by the libraries.
class RK_INTERFACE ILog : public ICommon {
public:
    ~ILog() override;
    virtual void Log(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
};
