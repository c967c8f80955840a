// Carving stores out of disk images, end to end: a store laid whole in noise, a store cut
// into shuffled clusters, two copies of one store in one image, and chains that run in a
// ring through several carved stores; stores read through the file systems of NTFS, ext4
// and FAT32 images the system's own tools build, and an identity's store folder in one, its
// folder tree and its indexes.

#include "dbx/carve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "cli/command.h"
#include "dbx/dbx.h"
#include "support/capture.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"
#include "tools/dbxgen/indexed.h"

namespace {

namespace fs = std::filesystem;

constexpr size_t cluster = 4096;

struct file_state {
    std::string bytes;
    fs::file_time_type time;
    bool operator==(const file_state&) const = default;
};
// Relative path (with '/') -> bytes and time, for every file under `root`.
using tree = std::map<std::string, file_state>;

tree read_tree(const fs::path& root) {
    tree files;
    if (!fs::exists(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        files[utf8_path(fs::relative(entry.path(), root))] = {read_file(entry.path()),
                                                              entry.last_write_time()};
    }
    return files;
}

int morvale(const std::vector<std::string>& args) {
    int status = -1;
    capture_output([&] { status = morvale_run(args); });
    return status;
}

class carve_test : public testing::Test {
  protected:
    // A generated store, padded to whole clusters.
    std::string make_store(uint64_t seed) {
        std::string path = dir.file("store" + std::to_string(seed) + ".dbx");
        dbxgen::store_options options;
        options.seed = seed;
        options.messages = 30;
        options.deleted = 6;
        FILE* out = std::fopen(path.c_str(), "wb");
        int64_t size = dbxgen::write_store(options, out);
        std::fclose(out);
        EXPECT_GT(size, 0);
        fs::resize_file(fs::u8path(path), (uint64_t(size) + cluster - 1) / cluster * cluster);
        return path;
    }

    std::string noise(size_t length) {
        std::string bytes(length, '\0');
        for (char& byte : bytes) byte = char(random.below(256));
        return bytes;
    }

    std::string write_image(const std::string& bytes) {
        std::string path = dir.file("disk.img");
        std::ofstream(fs::u8path(path), std::ios::binary) << bytes;
        return path;
    }

    // The files of a store run on `store`, relative to the store's own folder.
    tree store_run(const std::string& store) {
        fs::path out = dir.path() / ("run" + std::to_string(++runs));
        EXPECT_EQ(morvale({"--eml", store, utf8_path(out)}), 0);
        return read_tree(out / fs::u8path(store).stem());
    }

    // The folder of each carved store and its files; `records` gets the manifest's
    // records of the chains.
    std::map<std::string, tree> carve_run(const std::string& image,
                                          std::vector<nlohmann::json>* records = nullptr,
                                          const std::vector<std::string>& options = {}) {
        fs::path out = dir.path() / ("carved" + std::to_string(++runs));
        std::string manifest = utf8_path(out) + ".jsonl";
        std::vector<std::string> args = {"--carve", "--eml", "--manifest", manifest};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {image, utf8_path(out)});
        EXPECT_EQ(morvale(args), 0);
        std::map<std::string, tree> stores;
        for (const auto& entry : fs::directory_iterator(out / fs::u8path(image).filename()))
            stores[utf8_path(entry.path().filename())] = read_tree(entry.path());
        std::istringstream lines(read_file(manifest));
        for (std::string line; records != nullptr && std::getline(lines, line);) {
            nlohmann::json record = nlohmann::json::parse(line);
            if (!record.contains("record")) records->push_back(record);
        }
        return stores;
    }

    temp_dir dir;
    dbxgen::random_source random{99};
    int runs = 0;
};

// A store lying whole at a sector boundary gives the store run's files, under its start.
TEST_F(carve_test, StoreLaidInNoiseGivesTheStoreRunsFiles) {
    for (uint64_t seed : {1, 2}) {
        std::string store = make_store(seed);
        size_t start = 512 * (3 + seed * 5);
        std::string image = write_image(noise(start) + read_file(fs::u8path(store)) + noise(7000));
        tree expected = store_run(store);
        ASSERT_FALSE(expected.empty());
        auto carved = carve_run(image);
        ASSERT_EQ(carved.size(), 1u);
        char name[16];
        std::snprintf(name, sizeof name, "%012zX", start);
        EXPECT_EQ(carved.begin()->first, name);
        EXPECT_TRUE(carved.begin()->second == expected) << "seed " << seed;
    }
}

// The names of the messages and fragments of a store whose blocks each lie within one
// cluster: those a carve run must give whole when the clusters are scattered.
std::vector<std::string> messages_within_clusters(const std::string& store_path,
                                                  const tree& files) {
    std::vector<std::string> names;
    dbx_t* store = nullptr;
    capture_output([&] { store = dbx_open(store_path.c_str()); });
    for (int i = 0; i < 2; ++i) {
        const dbx_block_list_t& list = store->lists[i];
        for (const dbx_block_t* head : list.chains) {
            bool within = true;
            for (int32_t k = int32_t(head - list.blocks.data()); k >= 0; k = list.blocks[k].next)
                within = within &&
                         list.blocks[k].offset / cluster == (list.blocks[k].offset + 527) / cluster;
            char number[16];
            std::snprintf(number, sizeof number, ".%08X.eml", head->offset);
            for (const auto& [name, state] : files)
                if (within && name.find(number) != std::string::npos &&
                    (name[0] == 'd') == (i == 1))
                    names.push_back(name);
        }
    }
    dbx_close(store);
    return names;
}

// Clusters of one store scattered in any order among noise: every chain crossing from
// cluster to cluster is followed, so every message whose blocks each lie within a cluster
// comes out whole, in the folder of the cluster its first block lies in.
TEST_F(carve_test, ShuffledClustersGiveEveryMessageWhole) {
    std::string store = make_store(3);
    std::string store_bytes = read_file(fs::u8path(store));
    size_t clusters = store_bytes.size() / cluster;
    // Store clusters take every other slot, so that a block cut at a cluster's end never
    // hides the start of another store cluster; none lies before its own offset in the
    // store, where its store would start before the image.
    std::vector<size_t> slots(clusters);
    for (size_t i = 0; i < slots.size(); ++i) slots[i] = clusters + 2 * i + 1;
    for (size_t i = slots.size() - 1; i > 0; --i) std::swap(slots[i], slots[random.below(i + 1)]);
    std::string image = noise((3 * clusters + 1) * cluster);
    for (size_t c = 0; c < clusters; ++c)
        image.replace(slots[c] * cluster, cluster, store_bytes, c * cluster, cluster);
    tree expected = store_run(store);
    tree found;
    std::vector<nlohmann::json> records;
    for (const auto& [start, files] :
         carve_run(write_image(image), &records, {"--cluster-size", "4096"})) {
        for (const auto& [name, state] : files)
            EXPECT_TRUE(found.emplace(name, state).second) << name;
    }
    // Every chain said to be whole is the stored message; a block read on into the noise
    // beside its cluster is never passed off as one.
    int whole_chains = 0;
    for (const nlohmann::json& record : records) {
        if (record["integrity"] != "whole") continue;
        std::string name = utf8_path(fs::u8path(record["file"].get<std::string>()).filename());
        std::string in_store = (record["list"] == "message" ? "" : "deleted/") + name;
        ++whole_chains;
        EXPECT_TRUE(expected.count(in_store) && expected[in_store].bytes == found[in_store].bytes)
            << name;
    }
    EXPECT_GE(whole_chains, 10);
    std::vector<std::string> whole = messages_within_clusters(store, expected);
    EXPECT_GE(whole.size(), 10u);
    for (const std::string& name : whole) {
        ASSERT_TRUE(found.count(name)) << name;
        EXPECT_TRUE(found[name].bytes == expected[name].bytes) << name;
    }
}

// The image split into segments, and an extract that starts inside the store, give the
// messages that lie wholly within them; the store starting before the extract is kept
// under its distance before it.
TEST_F(carve_test, SplitImagesAndExtractsGiveTheSameMessages) {
    std::string store_bytes = read_file(fs::u8path(make_store(5)));
    std::string image = noise(4096) + store_bytes + noise(4096);
    std::string whole_path = write_image(image);
    std::vector<nlohmann::json> whole_records, split_records, cut_records;
    carve_run(whole_path, &whole_records);
    for (size_t at = 0, k = 1; at < image.size(); at += 50000, ++k) {
        char name[16];
        std::snprintf(name, sizeof name, "split.%03zu", k);
        std::ofstream(dir.path() / name, std::ios::binary) << image.substr(at, 50000);
    }
    carve_run(dir.file("split.001"), &split_records);
    // The same records but for the image's name.
    ASSERT_EQ(split_records.size(), whole_records.size());
    for (size_t k = 0; k < split_records.size(); ++k) {
        for (nlohmann::json* record : {&split_records[k], &whole_records[k]}) {
            record->erase("store");
            record->erase("file");
        }
        EXPECT_TRUE(split_records[k] == whole_records[k]) << k;
    }
    size_t cut_at = 4096 + 0x4000;
    std::ofstream(dir.path() / "cut.img", std::ios::binary) << image.substr(cut_at);
    auto cut_stores = carve_run(dir.file("cut.img"), &cut_records);
    ASSERT_EQ(cut_stores.size(), 1u);
    EXPECT_EQ(cut_stores.begin()->first, "-000000004000");
    std::multiset<std::string> cut_digests;
    for (const nlohmann::json& record : cut_records)
        cut_digests.insert(record["md5"].get<std::string>());
    int inside = 0;
    for (const nlohmann::json& record : whole_records) {
        bool within = true;
        for (const nlohmann::json& position : record["block_positions"])
            within = within && std::stoull(position.get<std::string>(), nullptr, 16) >= cut_at;
        if (!within) continue;
        ++inside;
        EXPECT_TRUE(cut_digests.count(record["md5"].get<std::string>())) << record["first_offset"];
    }
    EXPECT_GE(inside, 10);
}

// An EWF image the build cannot read is an error that names it, never "no messages".
TEST_F(carve_test, AnImageThatCannotBeReadIsAnError) {
    std::string path = dir.file("disk.E01");
    std::ofstream(fs::u8path(path), std::ios::binary)
        << std::string("EVF\x09\x0D\x0A\xFF\x00", 8) << noise(4096);
    int status = -1;
    captured_output said = capture_output([&] { status = morvale_run({"--carve", path}); });
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.err.find("could not open the image"), std::string::npos) << said.err;
#ifdef _WIN32
    EXPECT_NE(said.err.find("EWF"), std::string::npos) << said.err;
#endif
}

// An old copy of a store beside the store: each carved store's chains keep to the copy
// their first block lies in, even where a cluster of the old copy was overwritten.
TEST_F(carve_test, TwoCopiesOfOneStoreNeverMix) {
    std::string store_bytes = read_file(fs::u8path(make_store(4)));
    std::string old_copy = store_bytes;
    old_copy.replace(cluster * 3, cluster, noise(cluster));
    size_t first = 1024, second = first + store_bytes.size() + 3 * 512;
    std::string path =
        write_image(noise(first) + store_bytes + noise(3 * 512) + old_copy + noise(512));
    carved_image* image = nullptr;
    capture_output([&] { image = dbx_carve(path.c_str()); });
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->stores.size(), 2u);
    EXPECT_EQ(image->stores[0]->base, first);
    EXPECT_EQ(image->stores[1]->base, second);
    for (const dbx_t* store : image->stores) {
        for (int i = 0; i < 2; ++i) {
            const dbx_block_list_t& list = store->lists[i];
            for (const dbx_block_t& block : list.blocks) {
                uint64_t at = dbx_block_position(store, i, &block);
                EXPECT_TRUE(at >= store->base && at < store->base + store_bytes.size()) << at;
            }
        }
    }
    dbx_carve_close(image);
}

// Blocks of carved stores that each continue into the next, the last into the first: the
// linking ends, and the ring gives one message whose blocks follow it once round from the
// first store's block.
TEST_F(carve_test, ChainsInARingAcrossStoresEndWhereTheyBegan) {
    for (uint32_t stores : {2u, 3u}) {
        std::string expected;
        dbxgen::store_image image = dbxgen::ring_image(stores, expected);
        std::string path = dir.file("disk.img");
        ASSERT_TRUE(image.write_file(path));
        tree found;
        for (const auto& [start, files] : carve_run(path)) found.insert(files.begin(), files.end());
        ASSERT_EQ(found.size(), 1u) << stores << " stores";
        EXPECT_EQ(found.begin()->second.bytes, expected);
    }
}

#ifndef _WIN32

// Stores put into file-system images by the system's own tools, nothing mounted: one
// allocated in a folder, one fragmented among other files, one deleted whole and one
// deleted and partly overwritten by a new file (ext4 and FAT32; the NTFS tools that work
// without mounting can neither delete a file nor fragment one). Built once.
class file_system_test : public testing::Test {
  protected:
    struct store {
        std::string local;  // the generated store
        std::string path;   // its path in the image, from the partition
        bool deleted = false;
        tree messages;  // what a store run gives
    };
    struct image {
        std::string path;
        std::vector<store> stores;
        std::string missing;  // a tool that is not there
    };

    // The first of `tools` that is not installed; empty when all are.
    static std::string missing(std::initializer_list<const char*> tools) {
        for (const char* tool : tools)
            if (std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) != 0)
                return tool;
        return "";
    }
    static bool sh(const std::string& command) {
        return std::system(
                   ("cd '" + work().path().string() + "' && (" + command + ") >/dev/null 2>&1")
                       .c_str()) == 0;
    }
    static temp_dir& work() {
        static temp_dir dir;
        return dir;
    }
    // The store of `seed`, and what a store run gives of it.
    static store make(uint64_t seed, std::string path, bool deleted) {
        store made{work().file("s" + std::to_string(seed) + ".dbx"), std::move(path), deleted, {}};
        dbxgen::store_options options;
        options.seed = seed;
        options.messages = 40;
        options.deleted = 5;
        FILE* out = std::fopen(made.local.c_str(), "wb");
        EXPECT_GT(dbxgen::write_store(options, out), 0);
        std::fclose(out);
        fs::path run = work().path() / ("run" + std::to_string(seed));
        EXPECT_EQ(morvale({"--eml", made.local, utf8_path(run)}), 0);
        made.messages = read_tree(run / fs::u8path(made.local).stem());
        return made;
    }

    static const image& ext4() {
        static const image built = [] {
            image made{work().file("ext4.img"), {}, {}};
            if (!(made.missing = missing({"mke2fs", "debugfs"})).empty()) return made;
            made.stores = {make(21, "Mail/Inbox.dbx", false), make(22, "Sent.DBX", false),
                           make(23, "Old.dbx", true), make(24, "Gone.dbx", true)};
            std::string commands;
            for (int i = 0; i < 24; ++i) {
                sh("head -c 9000 /dev/urandom > f" + std::to_string(i));
                commands += "write f" + std::to_string(i) + " f" + std::to_string(i) + "\n";
            }
            for (int i = 1; i < 24; i += 2) commands += "rm f" + std::to_string(i) + "\n";
            // Each new file takes a small file's inode: z.bin the blocks of Gone.dbx, z2.bin
            // the first blocks of Old.dbx, which keeps its inode and the names of its blocks.
            commands +=
                "write s22.dbx Sent.DBX\nwrite keep keep\nwrite s24.dbx Gone.dbx\n"
                "write keep keep2\nwrite s23.dbx Old.dbx\nrm keep\nrm Gone.dbx\n"
                "write z.bin z.bin\nrm keep2\nrm Old.dbx\nmkdir x\nwrite z2.bin x/z2.bin\n";
            std::ofstream(work().path() / "commands") << commands;
            bool built_ok =
                sh("mkdir -p root/Mail && cp s21.dbx root/Mail/Inbox.dbx && "
                   "head -c 120000 /dev/zero | tr '\\0' Z > z.bin && head -c 100 z.bin > keep && "
                   "head -c 150000 /dev/zero | tr '\\0' Y > z2.bin && "
                   "mke2fs -q -t ext4 -b 1024 -d root ext4.img 8M && "
                   "debugfs -w -f commands ext4.img");
            EXPECT_TRUE(built_ok);
            return made;
        }();
        return built;
    }

    static const image& fat32() {
        static const image built = [] {
            image made{work().file("fat32.img"), {}, {}};
            if (!(made.missing = missing({"mkfs.vfat", "mcopy"})).empty()) return made;
            made.stores = {make(31, "MAIL/INBOX.DBX", false), make(32, "SENT.DBX", false),
                           make(33, "MAIL/OLD.DBX", true), make(34, "GONE.DBX", true)};
            std::string fillers, holes;
            for (int i = 0; i < 24; ++i) {
                sh("head -c 9000 /dev/urandom > g" + std::to_string(i));
                fillers += " g" + std::to_string(i);
                if (i % 2) holes += " ::/G" + std::to_string(i);
            }
            // A file filling the free space, so that Z.BIN takes the first clusters of
            // OLD.DBX (whose first cluster no longer names its file then); GONE.DBX, deleted
            // last, keeps its entry.
            bool built_ok = sh(
                "export MTOOLS_SKIP_CHECK=1 && mkfs.vfat -F 32 -S 512 -s 1 -C fat32.img 36000 && "
                "mmd -i fat32.img ::/MAIL && mcopy -i fat32.img s31.dbx ::/MAIL/INBOX.DBX && "
                "mcopy -i fat32.img" +
                fillers + " ::/ && mdel -i fat32.img" + holes +
                " && "
                "mcopy -i fat32.img s32.dbx ::/SENT.DBX && "
                "mcopy -i fat32.img s33.dbx ::/MAIL/OLD.DBX && "
                "mcopy -i fat32.img s34.dbx ::/GONE.DBX && "
                "free=$(mdir -i fat32.img ::/ | sed -n 's/^ *\\([0-9 ]*[0-9]\\) bytes free/\\1/p' "
                "| tr -d ' ') && head -c $free /dev/zero > rest.bin && "
                "mcopy -i fat32.img rest.bin ::/REST.BIN && mdel -i fat32.img ::/MAIL/OLD.DBX && "
                "head -c 120000 /dev/zero | tr '\\0' Z > z.bin && "
                "mcopy -i fat32.img z.bin ::/Z.BIN && mdel -i fat32.img ::/GONE.DBX");
            EXPECT_TRUE(built_ok);
            return made;
        }();
        return built;
    }

    static const image& ntfs() {
        static const image built = [] {
            image made{work().file("ntfs.img"), {}, {}};
            if (!(made.missing = missing({"mkntfs", "ntfscp"})).empty()) return made;
            made.stores = {make(41, "Inbox.dbx", false), make(42, "Deleted Items.dbx", false)};
            bool built_ok =
                sh("truncate -s 16M ntfs.img && mkntfs -F -q -f -c 4096 ntfs.img && "
                   "ntfscp -q ntfs.img s41.dbx Inbox.dbx && "
                   "ntfscp -q ntfs.img s42.dbx 'Deleted Items.dbx'");
            EXPECT_TRUE(built_ok);
            return made;
        }();
        return built;
    }

    // A carve run on `made`: the files of every store folder, by folder path under the
    // image's folder; `records` gets the manifest's records of the chains.
    static std::map<std::string, tree> carve(const image& made, const std::string& name,
                                             std::vector<nlohmann::json>& records,
                                             bool file_systems = true) {
        fs::path out = work().path() / name;
        std::string manifest = utf8_path(out) + ".jsonl";
        std::vector<std::string> args = {"--carve", "--eml", "--manifest", manifest};
        if (!file_systems) args.push_back("--no-filesystems");
        args.insert(args.end(), {made.path, utf8_path(out)});
        EXPECT_EQ(morvale(args), 0);
        std::map<std::string, tree> stores;
        fs::path root = out / fs::u8path(made.path).filename();
        for (const auto& [file, state] : read_tree(root)) {
            size_t cut = file.find("/deleted/");
            if (cut == std::string::npos) cut = file.rfind('/');
            stores[file.substr(0, cut)][file.substr(cut + 1)] = state;
        }
        std::istringstream lines(read_file(manifest));
        for (std::string line; std::getline(lines, line);) {
            nlohmann::json record = nlohmann::json::parse(line);
            if (!record.contains("record")) records.push_back(record);
        }
        return stores;
    }

    // How many messages of `original` come out byte for byte in `found`, under any name.
    static int recovered(const store& original, const std::map<std::string, tree>& found) {
        std::multiset<std::string> out;
        for (const auto& [folder, files] : found)
            for (const auto& [name, state] : files) out.insert(state.bytes);
        int count = 0;
        for (const auto& [name, state] : original.messages)
            if (name.rfind("deleted/", 0) != 0 && out.count(state.bytes)) ++count;
        return count;
    }

    // Every promise of a carve that reads the file systems first.
    // `records` and `found` get what the carve that reads the file systems gave.
    static void check(const image& made, const std::string& partition,
                      std::vector<nlohmann::json>& records, std::map<std::string, tree>& found) {
        if (!made.missing.empty()) GTEST_SKIP() << made.missing << " is not installed";
        std::string run = fs::u8path(made.path).stem().string();
        std::vector<nlohmann::json> raw_records;
        found = carve(made, "fs-" + run, records);
        std::map<std::string, tree> raw = carve(made, "raw-" + run, raw_records, false);
        std::set<std::string> messages;  // every message put in
        for (const store& put : made.stores)
            for (const auto& [name, state] : put.messages)
                if (name.rfind("deleted/", 0) != 0) messages.insert(state.bytes);
        for (const store& put : made.stores) {
            if (put.deleted) {
                // As many of its messages as the whole-image carve gives, or more.
                EXPECT_GE(recovered(put, found), recovered(put, raw)) << put.path;
                continue;
            }
            // Named by its path, every message and fragment byte for byte.
            std::string folder = partition + "/" + put.path.substr(0, put.path.size() - 4);
            ASSERT_TRUE(found.count(folder)) << folder;
            EXPECT_TRUE(found[folder] == put.messages) << folder;
            int records_of_store = 0;
            for (const nlohmann::json& record : records) {
                if (record["fs_path"] != partition + "/" + put.path) continue;
                ++records_of_store;
                EXPECT_EQ(record["fs_state"], "allocated file");
                EXPECT_GT(record["fs_meta_address"].get<uint64_t>(), 0u);
                EXPECT_EQ(record["fs_size"].get<uint64_t>(), fs::file_size(put.local));
                EXPECT_FALSE(record["fs_modified"].get<std::string>().empty());
            }
            EXPECT_EQ(size_t(records_of_store), put.messages.size()) << put.path;
        }
        // No chain called whole is anything but a message put in.
        int whole = 0;
        for (const nlohmann::json& record : records) {
            if (record["list"] != "message" || record["integrity"] != "whole") continue;
            ++whole;
            std::string file =
                utf8_path(work().path() / ("fs-" + run)) + "/" + record["file"].get<std::string>();
            EXPECT_TRUE(messages.count(read_file(file))) << record["file"];
        }
        EXPECT_GT(whole, 0);
    }
};

// ext4 of 1 KiB blocks (mke2fs -d, debugfs): the fragmented store whole by its path, the
// deleted store whose inode still names its blocks, some of them taken by a new file since,
// read as a deleted file.
TEST_F(file_system_test, Ext4StoresAreReadByTheirPaths) {
    std::vector<nlohmann::json> records;
    std::map<std::string, tree> found;
    check(ext4(), "p0", records, found);
    if (HasFatalFailure() || IsSkipped()) return;
    // Old.dbx, read as a deleted file: the chains in the blocks z2.bin took are not whole.
    int deleted = 0, overwritten = 0;
    for (const nlohmann::json& record : records) {
        if (record["fs_path"] != "p0/Old.dbx") continue;
        EXPECT_EQ(record["fs_state"], "deleted file");
        ++deleted;
        overwritten += record["integrity"] != "whole";
    }
    EXPECT_GT(deleted, 0);
    EXPECT_GT(overwritten, 0);
    EXPECT_GE(recovered(ext4().stores[2], found), 20);
}

// FAT32 (mkfs.vfat, mtools): the deleted stores' surviving messages as the carve finds them
// or better; those in clusters a new file took are never called whole.
TEST_F(file_system_test, Fat32StoresAreReadByTheirPaths) {
    std::vector<nlohmann::json> records;
    std::map<std::string, tree> found;
    check(fat32(), "p0", records, found);
    if (HasFatalFailure() || IsSkipped()) return;
    int deleted = 0;  // GONE.DBX, its first letter lost with its entry
    for (const nlohmann::json& record : records)
        deleted += record["fs_path"] == "p0/_ONE.DBX" && record["fs_state"] == "deleted file";
    EXPECT_GT(deleted, 0);
}

// An identity's store folder in an ext4 image: each store read by its path is nested as its
// folder's Folders.dbx says, in a folder of its own, and its own index gives its records
// their facts, as in a run of the folder on disk.
TEST_F(file_system_test, AnIdentityInAnImageKeepsItsFolderTreeAndItsIndexesState) {
    if (std::string tool = missing({"mke2fs"}); !tool.empty()) GTEST_SKIP() << tool;
    fs::path identity = work().path() / "identity/Mail";
    fs::create_directories(identity);
    FILE* report = std::tmpfile();
    ASSERT_TRUE(dbxgen::write_identity(utf8_path(identity), report));
    std::fclose(report);
    // A second store the tree names Inbox (file names compare without case): a folder of its own.
    fs::copy_file(identity / "Acme.dbx", identity / "INBOX.DBX");
    // Names no Windows folder may take, beside the identity: made ones it can.
    fs::create_directories(work().path() / "identity/CON");
    fs::copy_file(identity / "Acme.dbx", work().path() / "identity/CON/aux.dbx");
    ASSERT_TRUE(sh("mke2fs -q -t ext4 -b 1024 -d identity identity.img 8M"));
    fs::path out = work().path() / "identity-out";
    std::string manifest = utf8_path(out) + ".jsonl";
    std::string disk_manifest = utf8_path(out) + "-disk.jsonl";
    // 2004.dbx's index names two messages its blocks lack, in both runs.
    EXPECT_EQ(morvale({"--carve", "--eml", "--manifest", manifest, work().file("identity.img"),
                       utf8_path(out)}),
              1);
    EXPECT_EQ(morvale({"--eml", "--manifest", disk_manifest, utf8_path(identity),
                       utf8_path(out / "disk")}),
              1);
    for (const char* folder : {"Inbox/Clients/Acme", "Inbox/Family", "Archive/Invoices",
                               "Archive/2004", "Sent Items/deleted", "Inbox (2)/deleted"})
        EXPECT_TRUE(fs::is_directory(out / "identity.img/p0/Mail" / folder)) << folder;
    EXPECT_FALSE(fs::exists(out / "identity.img/p0/Mail/Receipts"));  // renamed Invoices
    EXPECT_TRUE(fs::is_directory(out / "identity.img/p0/_CON/_aux"));
    // The facts of each message and fragment, by its bytes (a missing one by its offset).
    auto facts = [](const std::string& path, const std::string& store_prefix) {
        std::multiset<std::string> found;
        std::istringstream lines(read_file(path));
        for (std::string line; std::getline(lines, line);) {
            nlohmann::json record = nlohmann::json::parse(line);
            if (record.contains("record")) continue;
            std::string store = record["store"];
            if (store.rfind(store_prefix, 0) != 0) continue;
            std::string fields = store.substr(store_prefix.size());
            for (const char* field : {"first_offset", "result", "folder", "in_index",
                                      "index_number", "flags", "received_utc", "account", "sha256"})
                fields += " " + record[field].dump();
            found.insert(fields);
        }
        return found;
    };
    std::multiset<std::string> in_image =
        facts(manifest, work().file("identity.img") + "/p0/Mail/");
    EXPECT_EQ(in_image, facts(disk_manifest, utf8_path(identity) + "/"));
    for (
        const char* expected :
        {R"(Acme.dbx "0x00002AD4" "saved" "Inbox/Clients/Acme" "yes" 1 "read replied downloaded" "2003-01-01T02:13:00Z" "Mail")",
         R"(Acme.dbx "0x00003314" "saved" "Inbox/Clients/Acme" "yes" 2 "downloaded" "2003-01-01T04:37:21Z" "Mail")",
         R"(2004.dbx "0x00003524" "missing" "Archive/2004" "yes" 3 "read replied flagged downloaded")"}) {
        EXPECT_EQ(
            std::count_if(in_image.begin(), in_image.end(),
                          [&](const std::string& facts) { return facts.rfind(expected, 0) == 0; }),
            1)
            << expected;
    }
}

// NTFS (mkntfs, ntfscp): stores with a blank in their names, by their paths.
TEST_F(file_system_test, NtfsStoresAreReadByTheirPaths) {
    std::vector<nlohmann::json> records;
    std::map<std::string, tree> found;
    check(ntfs(), "p0", records, found);
}

#endif

}  // namespace
