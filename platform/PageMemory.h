#pragma once
#include <cstddef>
#include <cstdint>

namespace platform {

// Memory for large read buffers, the substitute of VirtualAlloc: page-aligned, since the kernel
// copies a read into a buffer that starts mid-page several times slower, and from 2 MiB on aligned
// to a huge page, so that a system that hands out huge pages unasked can back it with them. Below
// 64 KiB it comes from the heap. It reads as zeros until written. Null when it cannot be had.
void* AllocatePages(size_t bytes);
// Maps in at once the pages of memory from AllocatePages that is about to be written whole (a read
// buffer): one call instead of a fault per page. Nothing where the system cannot.
void PrefaultPages(void* memory, size_t bytes);
// Frees what AllocatePages gave for the same byte count; nothing for null.
void FreePages(void* memory, size_t bytes);
// Gives the pages that the heap holds free back to the system, after much has been freed at once:
// the heap keeps them otherwise, and the memory in use counts them.
void ReturnFreeHeapPages();

// Makes the heap grow by steps of at least the given size, each step backed by huge pages where
// the system has them (on advice, as FollowHeapGrowth gives it): a program that fills its heap
// with hundreds of thousands of small records then takes a fault per 2 MiB instead of one per
// page, and a fault costs much in a virtual machine. Call at the start of the program.
void GrowHeapInSteps(size_t step);
// Advises what the heap grew by since the last call (after GrowHeapInSteps); cheap when it did
// not grow. Safe from any thread.
void FollowHeapGrowth();

// Owns memory from AllocatePages.
class PageBuffer {
public:
    PageBuffer() = default;
    // Empty when the memory cannot be had.
    explicit PageBuffer(size_t bytes);
    ~PageBuffer();
    PageBuffer(PageBuffer&& other) noexcept;
    PageBuffer& operator=(PageBuffer&& other) noexcept;
    PageBuffer(const PageBuffer&) = delete;
    PageBuffer& operator=(const PageBuffer&) = delete;

    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }
    explicit operator bool() const { return data_ != nullptr; }

private:
    uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace platform
