// The compound-file writer, read back by the tests' own strict reader.

#include "msg/compound_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cfb_reader.h"

namespace {

std::string pattern(size_t size, unsigned seed) {
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xFF);
    return data;
}

std::string bytes_of(const msg::compound_file& file) {
    std::string out;
    bool ok = file.write([&](const char* data, size_t size) {
        out.append(data, size);
        return true;
    });
    EXPECT_TRUE(ok);
    return out;
}

std::string problems_of(const cfb_file& file) {
    std::string text;
    for (auto& p : file.problems) text += p + "\n";
    return text;
}

}  // namespace

// One large stream of each size beside a few small ones and a nested storage.
TEST(CompoundFile, StreamsOfEverySizeReadBack) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{4095}, size_t{4096}, size_t{4097},
                        size_t{1} << 20, size_t{20} << 20}) {
        SCOPED_TRACE("size " + std::to_string(size));
        std::string big = pattern(size, 1), small = pattern(100, 2), other = pattern(64, 3);
        msg::compound_file file;
        file.add_stream(msg::compound_file::root, u"big", big);
        int storage = file.add_storage(msg::compound_file::root, u"folder");
        file.add_stream(storage, u"small", small);
        file.add_stream(storage, u"exact", other);
        file.add_stream(storage, u"empty", {});

        std::string bytes = bytes_of(file);
        ASSERT_EQ(bytes.size() % 512, 0u);
        cfb_file back = read_cfb(bytes);
        ASSERT_TRUE(back.problems.empty()) << problems_of(back);
        ASSERT_NE(back.find("big"), nullptr);
        EXPECT_EQ(back.find("big")->size, size);
        EXPECT_TRUE(back.find("big")->data == big);
        EXPECT_EQ(back.find("folder/small")->data, small);
        EXPECT_EQ(back.find("folder/exact")->data, other);
        EXPECT_EQ(back.find("folder/empty")->size, 0u);
        EXPECT_EQ(back.find("folder")->type, 1);
        // Streams under 4096 bytes live in the mini stream, larger ones in sectors.
        uint32_t big_start = back.find("big")->start;
        if (size > 0 && size < 4096) {
            EXPECT_LT(big_start, back.entries[0].size / 64);
        }
        EXPECT_EQ(back.difat_sectors > 0, size > (size_t{7} << 20));
    }
}

// A file's FAT crossing the 109 sectors the header can list needs a DIFAT sector; the fixed
// point of the FAT size must hold on both sides of that edge.
TEST(CompoundFile, FatAroundTheDifatThreshold) {
    bool saw_without = false, saw_with = false;
    // 109 FAT sectors cover 13952 sectors, the FAT's own and the directory's among them.
    for (size_t sectors = 13839; sectors <= 13845; ++sectors) {
        std::string data = pattern(sectors * 512, 4);
        msg::compound_file file;
        file.add_stream(msg::compound_file::root, u"data", data);
        cfb_file back = read_cfb(bytes_of(file));
        ASSERT_TRUE(back.problems.empty()) << sectors << ": " << problems_of(back);
        ASSERT_TRUE(back.find("data")->data == data);
        (back.difat_sectors ? saw_with : saw_without) = true;
        EXPECT_EQ(back.difat_sectors > 0, back.fat_sectors > 109);
    }
    EXPECT_TRUE(saw_without);
    EXPECT_TRUE(saw_with);
}

// Every count of siblings gives a valid red-black search tree in the reader's order.
TEST(CompoundFile, SiblingTreesAreOrderedAndBalanced) {
    const std::u16string names[] = {u"b",  u"A",  u"aa",  u"Zz", u"__x", u"c",    u"AB",
                                    u"ba", u"Ca", u"abc", u"d",  u"zy",  u"ABCD", u"e"};
    std::vector<std::string> keep;
    keep.reserve(200);
    for (size_t count = 1; count <= 90; ++count) {
        SCOPED_TRACE("count " + std::to_string(count));
        msg::compound_file file;
        std::vector<std::u16string> added;
        for (size_t i = 0; i < count; ++i) {
            std::u16string name = names[i % 14] + std::u16string(i / 14, u'q');
            added.push_back(name);
            file.add_stream(msg::compound_file::root, name, {});
        }
        cfb_file back = read_cfb(bytes_of(file));
        ASSERT_TRUE(back.problems.empty()) << problems_of(back);
        std::sort(added.begin(), added.end(), msg::name_less);
        std::vector<std::u16string> in_order;
        for (int child : back.entries[0].children) in_order.push_back(back.entries[child].name);
        EXPECT_EQ(in_order, added);
    }
}

// Hundreds of small streams: several directory, mini FAT and mini stream sectors.
TEST(CompoundFile, ManySmallStreams) {
    std::vector<std::string> data;
    for (unsigned i = 0; i < 400; ++i) data.push_back(pattern(i * 37 % 4096, i));
    msg::compound_file file;
    int storage = file.add_storage(msg::compound_file::root, u"many");
    for (unsigned i = 0; i < data.size(); ++i) {
        file.add_stream(storage,
                        u"s" + std::u16string(1, u'A' + i % 26) + std::u16string(i / 26 + 1, u'0'),
                        data[i]);
    }
    cfb_file back = read_cfb(bytes_of(file));
    ASSERT_TRUE(back.problems.empty()) << problems_of(back);
    EXPECT_GT(back.mini_fat_sectors, 1u);
    ASSERT_EQ(back.entries[back.entries[0].children[0]].children.size(), data.size());
    for (unsigned i = 0; i < data.size(); ++i) {
        auto name = "many/s" + std::string(1, 'A' + i % 26) + std::string(i / 26 + 1, '0');
        ASSERT_NE(back.find(name), nullptr) << name;
        EXPECT_EQ(back.find(name)->data, data[i]) << name;
    }
}

TEST(CompoundFile, SameContentGivesSameBytesAndFailedSinkIsReported) {
    std::string a = pattern(5000, 1), b = pattern(10, 2);
    auto build = [&] {
        msg::compound_file file;
        file.set_clsid(msg::compound_file::root, {1, 2, 3});
        file.add_stream(msg::compound_file::root, u"one", a);
        file.add_stream(file.add_storage(msg::compound_file::root, u"two"), u"three", b);
        return file;
    };
    EXPECT_EQ(bytes_of(build()), bytes_of(build()));
    int calls = 0;
    EXPECT_FALSE(build().write([&](const char*, size_t) { return ++calls > 1 ? true : false; }));
}

TEST(CompoundFile, RejectsNamesOutsideTheFormat) {
    msg::compound_file file;
    EXPECT_THROW(file.add_stream(msg::compound_file::root, std::u16string(32, u'x'), {}),
                 std::invalid_argument);
    EXPECT_THROW(file.add_stream(msg::compound_file::root, u"", {}), std::invalid_argument);
    int stream = file.add_stream(msg::compound_file::root, u"s", {});
    EXPECT_THROW(file.add_stream(stream, u"t", {}), std::invalid_argument);
    // Sibling names are unique regardless of case.
    EXPECT_THROW(file.add_storage(msg::compound_file::root, u"S"), std::invalid_argument);
}
