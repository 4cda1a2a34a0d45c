// The program's own allocations: each one that made the heap grow has the new stretch advised to
// come in huge pages (platform::GrowHeapInSteps), rather than a fault for every page it fills.
#include <cstdlib>
#include <new>

#include "platform/PageMemory.h"

#if !defined(__SANITIZE_ADDRESS__)
void* operator new(std::size_t size) {
    for (;;) {
        if (void* memory = std::malloc(size ? size : 1)) {
            platform::FollowHeapGrowth();
            return memory;
        }
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}
#endif
