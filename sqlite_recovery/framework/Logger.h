#pragma once
#include "sqlite_recovery/framework/ILog.h"

// The library's logger, loaded from "Log.dll" on first use; null when there is none, and then the
// next call looks for it again.
ILog* GetLog();
// The media library's name for the same holder.
inline ILog* GetRecoveryLog() { return GetLog(); }

// Writes a line when there is a logger; does nothing otherwise.
#define RK_LOG(...)                                   \
    do {                                              \
        if (ILog* rk_log_ = GetLog()) rk_log_->Log(__VA_ARGS__); \
    } while (0)
