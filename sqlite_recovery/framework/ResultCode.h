#pragma once
#include <cstdint>

// 64-bit result of every fallible operation that crosses a module or library boundary.
// Low half: the error number. High half: 0 on success; on failure 0x01000000 plus the source line of
// the failing statement, so that the top byte is non-zero.
using ResultCode = uint64_t;

constexpr ResultCode RK_OK = 0;

// Error numbers.
enum : uint32_t {
    RK_E_FAIL = 1,
    RK_E_NOT_INITIALIZED = 2,
    RK_E_INVALID_ARGUMENT = 5,
    RK_E_BUFFER_TOO_SMALL = 8,
    RK_E_OUT_OF_MEMORY = 9,
    RK_E_CANCELLED = 13,
    RK_E_NOT_FOUND = 16,
};

constexpr ResultCode MakeFailure(uint32_t line, uint32_t error) {
    return (static_cast<uint64_t>(0x01000000u + (line & 0x00FFFFFFu)) << 32) | error;
}

// A failure carrying the line of the statement that failed.
#define RK_FAIL(error) ::MakeFailure(__LINE__, static_cast<uint32_t>(error))

constexpr bool Failed(ResultCode rc) { return (rc >> 32) >= 0x01000000u; }
constexpr bool Succeeded(ResultCode rc) { return !Failed(rc); }
constexpr uint32_t ErrorNumber(ResultCode rc) { return static_cast<uint32_t>(rc); }
