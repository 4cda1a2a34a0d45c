#include "contacts/tables/CDataTableRow.h"

std::string TypedDisplayText(const std::string& title, const std::string& word, const std::string& value) {
    return title + "(" + word + ")" + ":" + value;
}

std::string TypeWordOf(int32_t type, const std::string& label, const TypeWord* words, size_t count,
                       bool unknownWord) {
    if (type == 0 && label != "") return label;
    for (size_t i = 0; i < count; ++i)
        if (words[i].type == type) return words[i].word;
    if (type == 0) return label;
    return unknownWord ? "UNKNOWN" : "";
}
