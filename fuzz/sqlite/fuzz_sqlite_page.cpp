// A database image as the input: header, schema, b-tree pages and the carving of every page.
// Also the carving passes straight over the input's first bytes as one page.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/sqlite/FuzzSupport.h"
#include "fuzz/sqlite/MemoryFileIO.h"
#include "sqlite_recovery/engine/RecordCarving.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (size_t(1) << 20)) return 0;
    {
        MemoryFileIO view(data, size);
        CSQLiteReader reader;
        if (reader.Open(&view) > 0) {
            WalkEverything(reader, 0);
            WalkEverything(reader, 1);
        }
    }
    // One page of 512 to 4096 bytes out of the input, carved for a table of 1 to 8 columns.
    if (size >= 2) {
        const uint32_t U = 512u << (data[0] % 4);
        std::vector<uint8_t> page(U, 0);
        std::memcpy(page.data(), data + 1, std::min<size_t>(size - 1, U));
        const std::vector<uint8_t> before = page;
        TableSchema table;
        table.name = "x";
        table.columnCount = 1 + data[1] % 8;
        CarveScratch scratch;
        CarveContext ctx;
        ctx.page = page.data();
        ctx.pageSize = U;
        ctx.pageNumber = 2;
        ctx.table = &table;
        ctx.columns = table.columnCount;
        ctx.arrayStart = page[0] == 13 ? 8 : 12;
        ctx.firstFreeblock = (page[1] << 8) | page[2];
        ctx.scratch = &scratch;
        std::vector<uint32_t> offsets;
        for (uint32_t at = ctx.arrayStart; at + 2 <= U && offsets.size() < 64; at += 2) {
            const uint32_t p = (page[at] << 8) | page[at + 1];
            if (p == 0) break;
            offsets.push_back(p);
        }
        offsets.push_back(ctx.firstFreeblock);
        RunCarvingPasses(ctx, offsets);
        if (page != before) __builtin_trap();  // every zeroed byte is put back
    }
    return 0;
}
