#pragma once
#include "sqlite_recovery/framework/ICommon.h"

// The outside logger: one printf-style line per call, from any thread. Never released by the libraries.
class RK_INTERFACE ILog : public ICommon {
public:
    ~ILog() override;
    virtual void Log(const char* format, ...) __attribute__((format(printf, 2, 3))) = 0;
};
