#pragma once
// Symbols that cross a library boundary. Everything else stays hidden in its library, so that two
// libraries loaded into one process never share each other's process-wide state by accident.
#define RK_EXPORT extern "C" __attribute__((visibility("default")))
// Interfaces keep default visibility so that run-time type checks work across libraries.
#define RK_INTERFACE __attribute__((visibility("default")))
