#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "filesystems/ext/ExtMemory.h"

// The names a folder's entries gave to inodes the walk has not reached yet, each stored once in one
// byte string: a folder's entries go in while it is read, and come out one by one as the walk
// reaches their inodes. The index is sorted when a name is first asked for after additions.
class ExtChildNames {
public:
    // Stores the name of ino; a later name of the same inode replaces an earlier one.
    // Throws std::bad_alloc (nothing is stored then).
    void Add(uint32_t ino, const char* name, size_t length);
    // Moves the name of ino into out and forgets the inode; false when it has none.
    bool Take(uint32_t ino, std::string* out);
    // Every name of ino, in the order added (more than one: entries of one folder name it twice),
    // and forgets the inode; false when it has none.
    bool TakeAll(uint32_t ino, ExtVector<std::string>* out);
    // No inode has a name any more.
    bool Empty() const { return live_ == 0; }

private:
    // Calls visit(name, length) for each name of ino not taken, in the order added, and takes it;
    // false when there is none.
    template <typename Visit>
    bool TakeEach(uint32_t ino, Visit visit);

    struct Entry {
        uint32_t ino;
        uint32_t offset;  // of the name in bytes_
        uint16_t length;
        bool taken;
    };

    ExtVector<Entry> entries_;  // sorted by inode up to sorted_, then in the order added
    ExtBuffer bytes_;
    size_t used_ = 0;  // bytes of bytes_ in use
    size_t sorted_ = 0;
    size_t live_ = 0;  // entries not taken
};
