// The node database written by pst::pst_ndb, read back by the tests' strict reader and, for
// its header, by libpff's pffinfo: every node and subnode must come back byte for byte, every
// structure rule must hold, and the same input must give the same file.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "pst/ndb.h"
#include "pst_check.h"
#include "pst_test_output.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace {

// Bytes that differ from one call to the next, the same on every run.
std::string bytes_of(size_t size, uint32_t seed) {
    std::string out(size, '\0');
    for (char& c : out) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 16);
    }
    return out;
}

struct ndb_case {
    const char* name;
    std::vector<size_t> data_sizes;          // one node each
    std::vector<size_t> subnode_counts;      // one node each, with that many subnodes
    std::vector<std::vector<size_t>> heaps;  // one node each, written as pages of these sizes
    size_t small_nodes = 0;                  // nodes of a few bytes each
};

// Writes the case's nodes and records what each should read back as.
bool write_case(const ndb_case& c, pst::pst_output& out,
                std::map<uint32_t, pst_node_content>& expected) {
    pst::pst_ndb ndb(out);
    uint32_t next_nid = (0x10000u << 5) | 4;  // messages
    uint32_t seed = 1;
    auto add = [&](std::string data, uint64_t data_bid, uint64_t sub_bid, pst_node_content subs) {
        uint32_t nid = next_nid;
        next_nid += 1 << 5;
        ndb.add_node(nid, data_bid, sub_bid, 0x122);
        subs.parent = 0x122;
        subs.data = std::move(data);
        expected[nid] = std::move(subs);
    };
    std::string root = bytes_of(40, seed++);
    ndb.add_node(0x122, ndb.add_data(root), 0, 0x122);
    expected[0x122] = {0x122, root, {}};
    for (size_t size : c.data_sizes) {
        std::string data = bytes_of(size, seed++);
        add(data, ndb.add_data(data), 0, {});
    }
    for (size_t count : c.subnode_counts) {
        pst_node_content content;
        std::vector<pst::pst_subnode> entries;
        for (size_t i = 0; i < count; i++) {
            // Subnodes given in no particular order; some hold a data tree, some subnodes.
            uint32_t nid = static_cast<uint32_t>(((count - i) * 7919 % 100000) << 5 | 5);
            pst_node_content& sub = content.subnodes[nid];
            sub.data = bytes_of(i % 50 == 3 ? 20000 : 10 + i % 300, seed++);
            pst::pst_subnode entry{nid, ndb.add_data(sub.data), 0};
            if (i % 100 == 7) {
                std::vector<pst::pst_subnode> nested;
                for (uint32_t k = 1; k <= 2; k++) {
                    std::string data = bytes_of(k * 500, seed++);
                    sub.subnodes[k << 5].data = data;
                    nested.push_back({k << 5, ndb.add_data(data), 0});
                }
                entry.sub_bid = ndb.add_subnodes(nested);
            }
            entries.push_back(entry);
        }
        add(bytes_of(64, seed), ndb.add_data(bytes_of(64, seed)), ndb.add_subnodes(entries),
            std::move(content));
        seed++;
    }
    for (const std::vector<size_t>& sizes : c.heaps) {
        std::vector<std::string> pages;
        std::string whole;
        for (size_t size : sizes) {
            pages.push_back(bytes_of(size, seed++));
            whole += pages.back();
        }
        add(whole, ndb.add_pages(pages), 0, {});
    }
    for (size_t i = 0; i < c.small_nodes; i++) {
        std::string data = bytes_of(1 + i % 40, seed++);
        add(data, ndb.add_data(data), 0, {});
    }
    return ndb.finish();
}

#ifndef _WIN32
std::string pffinfo_output(const std::string& path) {
    std::string text;
    FILE* pipe = popen(("pffinfo '" + path + "' 2>&1").c_str(), "r");
    if (!pipe) return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    pclose(pipe);
    return text;
}
#endif

TEST(PstNdb, EveryNodeReadsBackAndEveryRuleHolds) {
    constexpr size_t full = pst::pst_block_data_max;
    const ndb_case cases[] = {
        {"single blocks", {1, 100, full - 1, full}, {}, {}},
        {"data trees",
         {full + 1, 3 * full, 1021 * full, 1021 * full + 1, 2 * 1021 * full + 5000},
         {},
         {}},
        {"subnode trees", {}, {1, 340, 341, 2000}, {}},
        {"heap pages", {}, {}, {{100, full, 3000}, std::vector<size_t>(1100, 4000)}},
        {"deep B-trees", {}, {}, {}, 6000},
        {"past the first free map", {34u << 20}, {}, {}},
    };
    temp_dir dir;
    for (const ndb_case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string first = dir.file("first.pst"), second = dir.file("second.pst");
        std::map<uint32_t, pst_node_content> expected, again;
        {
            file_output out(first);
            ASSERT_TRUE(write_case(c, out, expected));
        }
        {
            file_output out(second);
            ASSERT_TRUE(write_case(c, out, again));
        }
        pst_check_result result = check_pst_file(first, true);
        for (const std::string& problem : result.problems) ADD_FAILURE() << problem;
        EXPECT_EQ(result.nodes.size(), expected.size());
        for (const auto& [nid, content] : expected) {
            auto found = result.nodes.find(nid);
            ASSERT_NE(found, result.nodes.end()) << "node " << nid << " missing";
            EXPECT_TRUE(found->second == content) << "node " << nid << " reads back differently";
        }
        std::string bytes = read_file(first);
        EXPECT_TRUE(bytes == read_file(second)) << "the same input gave different files";
#ifndef _WIN32
        std::string info = pffinfo_output(first);
        EXPECT_NE(info.find("File size:\t\t" + std::to_string(bytes.size()) + " bytes"),
                  std::string::npos)
            << info;
        EXPECT_NE(info.find("64-bit"), std::string::npos) << info;
#endif
    }
}

// The checker is only worth its passes if it fails damaged files: one byte changed in each
// kind of structure must be found.
TEST(PstNdb, TheCheckerFindsEveryKindOfDamage) {
    temp_dir dir;
    std::string path = dir.file("damaged.pst");
    std::map<uint32_t, pst_node_content> expected;
    {
        file_output out(path);
        ASSERT_TRUE(write_case({"damaged", {100, 20000}, {400}, {}, 400}, out, expected));
    }
    const std::string good = read_file(path);
    auto at64 = [&](size_t at) {
        uint64_t value = 0;
        for (int i = 7; i >= 0; i--) value = value << 8 | static_cast<unsigned char>(good[at + i]);
        return value;
    };
    const struct {
        const char* what;
        uint64_t offset;
    } damage[] = {
        {"header", 200},
        {"density list", 0x4200 + 8},
        {"allocation map", 0x4400 + 100},
        {"page map", 0x4600 + 3},
        {"first block's data", 0x4800},
        {"first block's trailer id", 0x4800 + 56},
        {"node tree root", at64(224) + 20},
        {"block tree root", at64(240) + 18},
    };
    for (const auto& d : damage) {
        std::string bad = good;
        bad[d.offset] = static_cast<char>(bad[d.offset] ^ 0x10);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(bad.data(), static_cast<std::streamsize>(bad.size()));
        EXPECT_FALSE(check_pst_file(path, false).problems.empty()) << d.what;
    }
    // A message store without the other nodes a minimal file has.
    {
        file_output out(path);
        pst::pst_ndb ndb(out);
        ndb.add_node(0x21, ndb.add_data("store"), 0, 0);
        ASSERT_TRUE(ndb.finish());
    }
    std::vector<std::string> problems = check_pst_file(path, false).problems;
    EXPECT_NE(
        std::find(problems.begin(), problems.end(), "node 0x6b6 of a minimal file is missing"),
        problems.end());
}

TEST(PstNdb, AFailedWriteFailsTheFile) {
    temp_dir dir;
    for (uint64_t fail_after : {0x4000u, 0x9000u, 0x100000u}) {
        file_output out(dir.file("failing.pst"));
        out.fail_after = fail_after;
        std::map<uint32_t, pst_node_content> expected;
        EXPECT_FALSE(write_case({"failing", {1 << 20}, {20}, {}}, out, expected)) << fail_after;
    }
}

}  // namespace
