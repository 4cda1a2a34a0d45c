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
        ctx.UseTable(&table, (data[0] & 4) == 0);
        ctx.rowidColumn = data[1] & 8 ? 0 : -1;
        ctx.scratch = &scratch;
        std::vector<uint32_t> listed;
        const uint32_t count = (page[3] << 8) | page[4];
        for (uint32_t at = 8; at + 2 <= U && listed.size() < count && listed.size() < 64; at += 2)
            listed.push_back((page[at] << 8) | page[at + 1]);
        const uint32_t arrayEnd = 8 + 2 * static_cast<uint32_t>(listed.size());
        MarkListedCells(ctx, listed, arrayEnd);
        CarveListedCells(ctx, listed);
        CarveFreeSpace(ctx, arrayEnd);
        if (page != before) __builtin_trap();  // carving only reads the page
    }
    return 0;
}
