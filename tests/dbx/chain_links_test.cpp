// How the blocks of each list are linked into chains: order in the file, blocks named by
// several others, rings, and next-block offsets that lead nowhere.

#include <gtest/gtest.h>

#include "scan_helpers.h"

namespace {

using dbxgen::store_image;
using chains = std::vector<std::vector<uint32_t>>;

// A store of 12000 bytes with the given live headers (offset, next) of one used byte each.
struct live_block {
    uint32_t offset;
    uint32_t next;
};

opened_store scan_live(const std::vector<live_block>& blocks, size_t size = 12000) {
    store_image image;
    image.put_signature();
    image.resize(size);
    for (const live_block& block : blocks) image.put_live_header(block.offset, 1, block.next);
    temp_dir folder;
    opened_store opened = open_captured(write_image(folder, image));
    EXPECT_NE(opened.store, nullptr);
    if (opened.store) {
        expect_consistent_links(opened.store->lists[0]);
        expect_consistent_links(opened.store->lists[1]);
    }
    return opened;
}

TEST(ChainLinks, MessageInFileOrderIsOneChain) {
    opened_store opened = scan_live({{1000, 2000}, {2000, 3000}, {3000, 0}});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{1000, 2000, 3000}}));
}

TEST(ChainLinks, MessageInReverseOrderIsOneChainHeadedByItsLastBlock) {
    opened_store opened = scan_live({{1000, 0}, {2000, 1000}, {3000, 2000}, {4000, 3000}});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{4000, 3000, 2000, 1000}}));
    EXPECT_EQ(opened.store->lists[0].chain_count, 1);
}

TEST(ChainLinks, ShuffledMessageIsOneChain) {
    store_image image;
    image.put_signature();
    std::string text(5 * 512 - 100, 'x');
    std::vector<uint32_t> places = {16 + 3 * 528, 16, 16 + 4 * 528, 16 + 528, 16 + 2 * 528};
    image.add_message(text, places);
    temp_dir folder;
    opened_store opened = open_captured(write_image(folder, image));
    ASSERT_NE(opened.store, nullptr);
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), chains{places});
    EXPECT_EQ(opened.store->lists[0].blocks[2].data_size,
              512 - 100);  // the last piece, at 16 + 2 * 528
}

TEST(ChainLinks, OfTwoEarlierBlocksNamingOneTheNearestTakesIt) {
    opened_store opened = scan_live({{1000, 9000}, {5000, 9000}, {9000, 0}});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{1000}, {5000, 9000}}));
}

TEST(ChainLinks, BlockBeforeTheNamedOneWinsOverOneAfterIt) {
    opened_store opened = scan_live({{1000, 5000}, {5000, 0}, {9000, 5000}});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{1000, 5000}, {9000}}));
}

TEST(ChainLinks, WhenAllNamingBlocksLieAfterItTheLowestTakesIt) {
    opened_store opened = scan_live({{1000, 0}, {5000, 1000}, {9000, 1000}});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{5000, 1000}, {9000}}));
}

TEST(ChainLinks, BlockNamedFromBothSidesKeepsTheEarlierPredecessor) {
    // 3000 names 5000 first; 7000 names it from behind and must end its own chain.
    opened_store opened = scan_live({{3000, 5000}, {5000, 0}, {7000, 5000}, {9000, 7000}});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{3000, 5000}, {9000, 7000}}));
}

TEST(ChainLinks, TwoBlocksNamingEachOtherFormAHeadlessRing) {
    opened_store opened = scan_live({{1000, 5000}, {5000, 1000}, {9000, 0}});
    const dbx_block_list_t& list = opened.store->lists[0];
    EXPECT_EQ(list.block_count, 3);
    EXPECT_EQ(list.chain_count, 1);
    EXPECT_EQ(chain_offsets(list), (chains{{9000}}));
    EXPECT_EQ(list.blocks[0].prev, 1);
    EXPECT_EQ(list.blocks[0].next, 1);
}

TEST(ChainLinks, LongerRingAndABlockNamingIntoItStaysOutside) {
    opened_store opened = scan_live({{1000, 3000}, {3000, 5000}, {5000, 1000}, {7000, 3000}});
    const dbx_block_list_t& list = opened.store->lists[0];
    EXPECT_EQ(list.chain_count, 1);
    EXPECT_EQ(chain_offsets(list), (chains{{7000}}));
}

TEST(ChainLinks, NextOffsetNamingNoBlockEndsTheChain) {
    // 2004 lies inside the data area of the block at 2000; 6000 holds no header at all.
    opened_store opened = scan_live({{1000, 6000}, {2000, 2004}, {3000, 2004}});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{1000}, {2000}, {3000}}));
}

TEST(ChainLinks, NoLinksCrossBetweenLiveAndFreedBlocks) {
    store_image image;
    image.put_signature();
    image.resize(12000);
    image.put_live_header(1000, 1, 2000);   // names a freed block
    image.put_freed_header(2000, 3000, 0);  // names a live block
    image.put_live_header(3000, 1, 0);
    image.put_freed_header(4000, 2000, 0);  // freed to freed: linked
    temp_dir folder;
    opened_store opened = open_captured(write_image(folder, image));
    ASSERT_NE(opened.store, nullptr);
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), (chains{{1000}, {3000}}));
    EXPECT_EQ(chain_offsets(opened.store->lists[1]), (chains{{4000, 2000}}));
    EXPECT_EQ(opened.store->lists[1].blocks[0].data_size, 528);
}

TEST(ChainLinks, AllBlocksInRingsLeaveNoChainsArray) {
    opened_store opened = scan_live({{1000, 2000}, {2000, 1000}});
    const dbx_block_list_t& list = opened.store->lists[0];
    EXPECT_EQ(list.block_count, 2);
    EXPECT_EQ(list.chain_count, 0);
    EXPECT_TRUE(list.chains.empty());
}

TEST(ChainLinks, ManyBlocksNamingTheSameOffsetLinkOnlyTheNearest) {
    std::vector<live_block> blocks;
    for (uint32_t i = 0; i < 10; i++) blocks.push_back({1000 + 1000 * i, 11000});
    blocks.push_back({11000, 0});
    opened_store opened = scan_live(blocks, 12000);
    chains expected;
    for (uint32_t i = 0; i < 9; i++) expected.push_back({1000 + 1000 * i});
    expected.push_back({10000, 11000});
    EXPECT_EQ(chain_offsets(opened.store->lists[0]), expected);
}

}  // namespace
