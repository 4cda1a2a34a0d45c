#pragma once
// A hash over several values, for the indexes that find rows by what they hold.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

class ValueHash {
public:
    ValueHash& Add(int64_t value) { return Mix(std::hash<int64_t>()(value)); }
    ValueHash& Add(const std::string& value) { return Mix(std::hash<std::string>()(value)); }
    size_t Value() const { return value_; }

private:
    ValueHash& Mix(size_t h) {
        value_ ^= h + 0x9e3779b97f4a7c15ull + (value_ << 6) + (value_ >> 2);
        return *this;
    }
    size_t value_ = 0;
};
