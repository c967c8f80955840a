// Carving and the integrity of carved chains, row by row: small images with block headers
// written at chosen positions, and the stores, chains and findings each must give, written
// out by hand.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbx/carve.h"
#include "dbx/integrity.h"
#include "scan_helpers.h"
#include "support/capture.h"

namespace {

// A live block header at `position` of the image naming `own` as its offset in its store.
struct placed_block {
    uint64_t position;
    uint32_t own;
    uint32_t used;
    uint32_t next;
};

dbxgen::store_image image_of(const std::vector<placed_block>& blocks, size_t size) {
    dbxgen::store_image image;
    image.resize(size);
    for (const placed_block& b : blocks) {
        image.put_word(b.position, b.own);
        image.put_word(b.position + 4, 512);
        image.put_word(b.position + 8, b.used);
        image.put_word(b.position + 12, b.next);
        image.put_text(b.position + 16, "From: a\r\n");
    }
    return image;
}

struct image_closer {
    void operator()(carved_image* image) const { dbx_carve_close(image); }
};
using image_ptr = std::unique_ptr<carved_image, image_closer>;

image_ptr carve(const temp_dir& folder, const std::vector<placed_block>& blocks,
                size_t size = 0x4000) {
    std::string path = write_image(folder, image_of(blocks, size), "disk.img");
    carved_image* image = nullptr;
    capture_output([&] { image = dbx_carve(path.c_str()); });
    return image_ptr(image);
}

// A carved store: where it starts, its own blocks' offsets, and its message chains as the
// image positions of their blocks, head first.
struct store_row {
    uint64_t base;
    std::vector<uint32_t> own;
    std::vector<std::vector<uint64_t>> chains;
};

struct carve_row {
    const char* what;
    std::vector<placed_block> blocks;
    std::vector<store_row> stores;
};

std::vector<std::vector<uint64_t>> chain_positions(const dbx_t& store) {
    std::vector<std::vector<uint64_t>> chains;
    const dbx_block_list_t& list = store.lists[0];
    for (const dbx_block_t* head : list.chains) {
        chains.emplace_back();
        for (int32_t k = int32_t(head - list.blocks.data()); k >= 0; k = list.blocks[k].next)
            chains.back().push_back(dbx_block_position(&store, 0, &list.blocks[k]));
    }
    return chains;
}

TEST(CarveTable, StoresByTheStartTheirBlocksName) {
    const std::vector<carve_row> rows = {
        {"a block at its own offset", {{0x200, 0x200, 9, 0}}, {{0, {0x200}, {{0x200}}}}},
        {"a store starting at the third sector",
         {{0x800, 0x200, 9, 0}},
         {{0x600, {0x200}, {{0x800}}}}},
        {"a start off a sector boundary names no store", {{0x804, 0x200, 9, 0}}, {}},
        {"an offset inside the store's signature names none", {{0x208, 0x8, 9, 0}}, {}},
        {"an offset off the four-byte grid names none", {{0x402, 0x202, 9, 0}}, {}},
        {"a store starting before the image comes first",
         {{0x1000, 0x1000, 9, 0}, {0x100, 0x300, 9, 0}},
         {{uint64_t(0) - 0x200, {0x300}, {{0x100}}}, {0, {0x1000}, {{0x1000}}}}},
        {"two blocks of one store chained in it",
         {{0x1200, 0x200, 9, 0x800}, {0x1800, 0x800, 9, 0}},
         {{0x1000, {0x200, 0x800}, {{0x1200, 0x1800}}}}},
        {"a chain continues into the one store holding the offset it names, which heads no chain "
         "of its own",
         {{0x200, 0x200, 9, 0x600}, {0x2600, 0x600, 9, 0}},
         {{0, {0x200}, {{0x200, 0x2600}}}, {0x2000, {0x600}, {}}}},
        {"two stores holding the offset named: the chain ends in its own",
         {{0x200, 0x200, 9, 0x600}, {0x2600, 0x600, 9, 0}, {0x3600, 0x600, 9, 0}},
         {{0, {0x200}, {{0x200}}}, {0x2000, {0x600}, {{0x2600}}}, {0x3000, {0x600}, {{0x3600}}}}},
    };
    for (const carve_row& row : rows) {
        SCOPED_TRACE(row.what);
        temp_dir folder;
        image_ptr image = carve(folder, row.blocks);
        ASSERT_NE(image, nullptr);
        ASSERT_EQ(image->stores.size(), row.stores.size());
        for (size_t i = 0; i < row.stores.size(); ++i) {
            const dbx_t& store = *image->stores[i];
            EXPECT_EQ(store.base, row.stores[i].base) << "store " << i;
            EXPECT_TRUE(store.carved);
            std::vector<uint32_t> own;
            for (int32_t k = 0; k < store.lists[0].block_count; ++k)
                own.push_back(store.lists[0].blocks[k].offset);
            EXPECT_EQ(own, row.stores[i].own) << "store " << i;
            EXPECT_EQ(chain_positions(store), row.stores[i].chains) << "store " << i;
        }
    }
}

// The integrity of the first chain of carved store `store`.
struct integrity_row {
    const char* what;
    std::vector<placed_block> blocks;
    size_t image_size;
    uint32_t cluster;
    size_t store;
    chain_start start;
    std::string kinds;
    std::string detail;
};

TEST(IntegrityTable, FindingsOfCarvedChains) {
    const chain_start field{true, false, "From: a"};
    const std::vector<integrity_row> rows = {
        {"a block within its own cluster",
         {{0x400, 0x400, 512, 0}},
         0x4000,
         1024,
         0,
         field,
         "whole",
         ""},
        {"a block running into a cluster with no header of its store",
         {{0x200, 0x200, 512, 0}},
         0x4000,
         1024,
         0,
         field,
         "unattested bytes",
         "unattested bytes 0x00000400-0x0000040F"},
        {"the same block in a larger cluster",
         {{0x200, 0x200, 512, 0}},
         0x4000,
         4096,
         0,
         field,
         "whole",
         ""},
        {"a header of the store in the cluster the block runs into",
         {{0x200, 0x200, 512, 0}, {0x600, 0x600, 9, 0}},
         0x4000,
         1024,
         0,
         field,
         "whole",
         ""},
        {"the next block of the chain in the cluster it runs into",
         {{0x200, 0x200, 512, 0x410}, {0x410, 0x410, 100, 0}},
         0x4000,
         1024,
         0,
         field,
         "whole",
         ""},
        {"the last block names a next block that is nowhere",
         {{0x400, 0x400, 100, 0x800}},
         0x4000,
         1024,
         0,
         field,
         "cut short",
         "cut short: the last block names the next offset 0x00000800, where no block continues "
         "it"},
        {"the last block runs past the end of the image",
         {{0x400, 0x400, 512, 0}},
         0x500,
         1024,
         0,
         field,
         "cut short",
         "cut short: the last block runs past the end of the file at 0x00000500"},
        {"a first block that begins with no header field",
         {{0x400, 0x400, 100, 0}},
         0x4000,
         1024,
         0,
         {false, false,
          std::string("\x00\x01"
                      "a\"\\bcdefghijklmnop",
                      20)},
         "start unattested",
         "start unattested: its first block begins \"\\x00\\x01a\\x22\\x5Cbcdefghijkl\"... (no "
         "header field)"},
        {"a first block that could not be read",
         {{0x400, 0x400, 100, 0}},
         0x4000,
         1024,
         0,
         {false, false, ""},
         "start unattested",
         "start unattested: its first block could not be read"},
        {"an indexed first block needs no header field",
         {{0x400, 0x400, 100, 0}},
         0x4000,
         1024,
         0,
         {false, true, "xyz"},
         "whole",
         ""},
        {"a chain continuing into another carved store",
         {{0x200, 0x200, 100, 0x600}, {0x2600, 0x600, 100, 0}},
         0x4000,
         1024,
         0,
         field,
         "crosses stores",
         "crosses into the stores at 0x000000002000"},
        {"a head that blocks of two other stores name",
         {{0x200, 0x200, 100, 0x600}, {0x2600, 0x600, 100, 0}, {0x3600, 0x600, 100, 0}},
         0x4000,
         1024,
         1,
         field,
         "cut short",
         "cut short: a block of another carved store names its first block as the next one: the "
         "message may begin there"},
    };
    for (const integrity_row& row : rows) {
        SCOPED_TRACE(row.what);
        temp_dir folder;
        image_ptr image = carve(folder, row.blocks, row.image_size);
        dbx_set_cluster_size(row.cluster);
        ASSERT_NE(image, nullptr);
        ASSERT_GT(image->stores.size(), row.store);
        const dbx_t* store = image->stores[row.store];
        ASSERT_GT(store->lists[0].chain_count, 0);
        chain_integrity found =
            dbx_chain_integrity(store, 0, store->lists[0].chains.front(), row.start);
        EXPECT_EQ(found.kinds(), row.kinds);
        EXPECT_EQ(found.detail(), row.detail);
    }
    dbx_set_cluster_size(1024);
}

}  // namespace
