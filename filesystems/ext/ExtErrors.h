#pragma once
#include <exception>

// What the Ext2/3/4 reader throws; its searcher catches everything at its entry. Thrown by value,
// without text.
class CExt2BadSuperBlock : public std::exception {
public:
    const char* what() const noexcept override { return "CExt2BadSuperBlock"; }
};

class CExt2BadGroupDescriptor : public std::exception {
public:
    const char* what() const noexcept override { return "CExt2BadGroupDescriptor"; }
};

class CExt2ReadSectorError : public std::exception {
public:
    const char* what() const noexcept override { return "CExt2ReadSectorError"; }
};
