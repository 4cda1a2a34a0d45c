#pragma once
#include <functional>
#include <map>
#include <string>

// Codes of contact field types: (kind << 8) | Android type, kind 0x10 name ... 0x1E note; the
// contacts library writes the same codes into its records.
enum : int {
    RECOVERY_ERROR_FAILED_WRITE = 0x12346,
    RECOVERY_ERROR_DEVICE_OFFLINE = 0x12347,
    RECOVERY_ERROR_FILES_SHORT = 0x12348,
};

struct ContactFieldTypeKey {
    int code;
    const char* key;  // the language key of its display text
};

// The 79 field types and the three recovery errors (82 codes), with their language keys.
const ContactFieldTypeKey* ContactFieldTypeKeys(size_t* count);

// The display texts by code, filled once and only read afterwards (from any thread).
class CContactFieldTypes {
public:
    using TextOf = std::function<const char*(const char* key)>;
    explicit CContactFieldTypes(const TextOf& textOf);

    // The text in the system's code page; " " for an unknown code or a null text.
    std::string GetTypeName(int code) const;
    size_t Size() const { return names_.size(); }

private:
    std::map<int, const char*> names_;
};
