#include "msg/compound_file.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "platform/byte_layout.h"

namespace msg {

namespace {

using platform::put_le16;
using platform::put_le32;

constexpr uint32_t free_sector = 0xFFFFFFFF;
constexpr uint32_t end_of_chain = 0xFFFFFFFE;
constexpr uint32_t fat_sector = 0xFFFFFFFD;
constexpr uint32_t difat_sector = 0xFFFFFFFC;
constexpr uint32_t no_stream = 0xFFFFFFFF;
constexpr size_t sector_size = 512;
constexpr size_t mini_sector_size = 64;
constexpr size_t mini_cutoff = 4096;
constexpr size_t header_difat_slots = 109;
constexpr size_t ids_per_sector = sector_size / 4;  // 128
constexpr size_t entries_per_sector = sector_size / 128;

size_t sectors_for(size_t bytes, size_t unit) {
    return (bytes + unit - 1) / unit;
}

char16_t upper(char16_t c) {
    if (c >= u'a' && c <= u'z') return c - 0x20;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;
    if (c == 0xFF) return 0x178;
    return c;
}

// Links `count` sectors from `first` into one chain.
void chain(std::vector<uint32_t>& table, uint32_t first, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        table[first + i] = i + 1 < count ? static_cast<uint32_t>(first + i + 1) : end_of_chain;
    }
}

}  // namespace

// Where everything goes: sectors are laid out in the order of the fields below.
struct compound_file::layout {
    std::vector<uint32_t> start;  // per entry: first sector or mini sector
    std::vector<uint32_t> left, right, child;
    std::vector<uint8_t> black;
    size_t mini_sectors = 0;  // 64-byte units in the mini stream
    size_t mini_stream_sectors = 0;
    std::vector<uint32_t> fat, mini_fat;
    size_t directory_first = 0, directory_sectors = 0;
    size_t mini_fat_first = 0, mini_fat_sectors = 0;
    size_t fat_first = 0, fat_sectors = 0;
    size_t difat_first = 0, difat_sectors = 0;
};

bool name_less(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return a.size() < b.size();
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = upper(a[i]), y = upper(b[i]);
        if (x != y) return x < y;
    }
    return false;
}

compound_file::compound_file() {
    entries_.push_back({u"Root Entry", root_type, 0, {}, {}, {}, {}});
}

void compound_file::set_clsid(int storage, const clsid& id) {
    entries_.at(storage).id = id;
}

int compound_file::add(int parent, std::u16string name, entry_type type, uint64_t size,
                       stream_source source) {
    if (name.empty() || name.size() > 31) throw std::invalid_argument("compound file: bad name");
    if (entries_.at(parent).type == stream_type) {
        throw std::invalid_argument("compound file: not a storage");
    }
    // Names equal in the sibling order are one name; looked up in a set, so a storage of
    // thousands of attachments is filled in n log n, not n squared.
    if (!entries_[parent].child_names.insert(name).second) {
        throw std::invalid_argument("compound file: name used twice");
    }
    entries_.push_back({std::move(name), type, size, std::move(source), {}, {}, {}});
    int index = static_cast<int>(entries_.size() - 1);
    entries_[parent].children.push_back(index);
    return index;
}

int compound_file::add_storage(int parent, std::u16string name) {
    return add(parent, std::move(name), storage_type, 0, {});
}

int compound_file::add_stream(int parent, std::u16string name, std::string_view data) {
    return add(parent, std::move(name), stream_type, data.size(),
               [data](const byte_sink& sink) { return sink(data.data(), data.size()); });
}

int compound_file::add_stream(int parent, std::u16string name, uint64_t size,
                              stream_source source) {
    return add(parent, std::move(name), stream_type, size, std::move(source));
}

// Streams under the cutoff live in the mini stream, 64 bytes at a time.
bool compound_file::is_small_stream(const entry& e) const {
    return e.type == stream_type && e.size != 0 && e.size < mini_cutoff;
}

namespace {

// Builds a search tree of `sorted[lo, hi)` split at the middle; nodes at `red_depth` are
// red. Middle splits keep every path within one level of the others, so colouring only the
// deepest level of an imperfect tree red keeps the black heights equal.
template <class Layout>
uint32_t build_tree(const std::vector<int>& sorted, size_t lo, size_t hi, int depth, int red_depth,
                    Layout& out) {
    if (lo >= hi) return no_stream;
    size_t mid = lo + (hi - lo) / 2;
    int node = sorted[mid];
    out.left[node] = build_tree(sorted, lo, mid, depth + 1, red_depth, out);
    out.right[node] = build_tree(sorted, mid + 1, hi, depth + 1, red_depth, out);
    out.black[node] = depth == red_depth ? 0 : 1;
    return static_cast<uint32_t>(node);
}

int tree_height(size_t count) {
    int height = 0;
    while (count >> height) ++height;  // floor(log2(count)) + 1
    return height;
}

}  // namespace

bool compound_file::write(const byte_sink& sink) const {
    layout out;
    plan(out);
    return emit(out, sink);
}

void compound_file::plan(layout& out) const {
    size_t count = entries_.size();
    out.start.assign(count, 0);
    out.left.assign(count, no_stream);
    out.right.assign(count, no_stream);
    out.child.assign(count, no_stream);
    out.black.assign(count, 1);
    plan_trees(out);
    plan_mini_stream(out);
    plan_fat(out, plan_sectors(out));
}

// Each storage's children as a balanced red-black tree in name order.
void compound_file::plan_trees(layout& out) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        std::vector<int> sorted = entries_[i].children;
        if (sorted.empty()) continue;
        std::sort(sorted.begin(), sorted.end(),
                  [&](int a, int b) { return name_less(entries_[a].name, entries_[b].name); });
        size_t n = sorted.size();
        int height = tree_height(n);
        bool perfect = ((n + 1) & n) == 0;
        out.child[i] = build_tree(sorted, 0, n, 0, perfect ? -1 : height - 1, out);
    }
}

// Small streams take consecutive runs of mini sectors, chained in the mini FAT.
void compound_file::plan_mini_stream(layout& out) const {
    for (size_t i = 1; i < entries_.size(); ++i) {
        if (!is_small_stream(entries_[i])) continue;
        size_t units = sectors_for(entries_[i].size, mini_sector_size);
        out.start[i] = static_cast<uint32_t>(out.mini_sectors);
        out.mini_fat.resize(out.mini_sectors + units);
        chain(out.mini_fat, static_cast<uint32_t>(out.mini_sectors), units);
        out.mini_sectors += units;
    }
    out.mini_stream_sectors = sectors_for(out.mini_sectors * mini_sector_size, sector_size);
}

// The sectors after the header: the mini stream, the large streams, the directory and the
// mini FAT, in that order. Returns their chains as (first sector, count).
std::vector<std::pair<size_t, size_t>> compound_file::plan_sectors(layout& out) const {
    std::vector<std::pair<size_t, size_t>> chains;
    size_t next = out.mini_stream_sectors;
    if (out.mini_stream_sectors) chains.push_back({0, out.mini_stream_sectors});
    for (size_t i = 1; i < entries_.size(); ++i) {
        const entry& e = entries_[i];
        if (e.type != stream_type) continue;
        if (e.size == 0) {
            out.start[i] = end_of_chain;
        } else if (!is_small_stream(e)) {
            size_t sectors = sectors_for(e.size, sector_size);
            out.start[i] = static_cast<uint32_t>(next);
            chains.push_back({next, sectors});
            next += sectors;
        }
    }
    out.directory_first = next;
    out.directory_sectors = sectors_for(entries_.size(), entries_per_sector);
    chains.push_back({next, out.directory_sectors});
    next += out.directory_sectors;
    out.mini_fat_first = next;
    out.mini_fat_sectors = sectors_for(out.mini_fat.size(), ids_per_sector);
    if (out.mini_fat_sectors) chains.push_back({next, out.mini_fat_sectors});
    out.fat_first = next + out.mini_fat_sectors;
    return chains;
}

// The FAT and the DIFAT follow; the FAT must also cover its own sectors and the DIFAT's,
// so their sizes are found as a fixed point.
void compound_file::plan_fat(layout& out,
                             const std::vector<std::pair<size_t, size_t>>& chains) const {
    size_t next = out.fat_first;
    size_t fat = 0, difat = 0;
    for (;;) {
        size_t want_fat = sectors_for(next + fat + difat, ids_per_sector);
        size_t want_difat = want_fat <= header_difat_slots
                                ? 0
                                : sectors_for(want_fat - header_difat_slots, ids_per_sector - 1);
        if (want_fat == fat && want_difat == difat) break;
        fat = want_fat;
        difat = want_difat;
    }
    out.fat_sectors = fat;
    out.difat_first = next + fat;
    out.difat_sectors = difat;
    out.fat.assign(fat * ids_per_sector, free_sector);
    for (auto [first, n] : chains) chain(out.fat, static_cast<uint32_t>(first), n);
    for (size_t i = 0; i < fat; ++i) out.fat[out.fat_first + i] = fat_sector;
    for (size_t i = 0; i < difat; ++i) out.fat[out.difat_first + i] = difat_sector;
}

// Collects small pieces into large writes.
class sector_writer {
  public:
    explicit sector_writer(const byte_sink& sink) : sink_(sink) {}

    void bytes(const char* data, size_t size) {
        if (!ok_) return;
        if (size >= 65536) {
            flush();
            ok_ = ok_ && sink_(data, size);
            return;
        }
        buffer_.append(data, size);
        if (buffer_.size() >= 65536) flush();
    }
    void bytes(std::string_view data) { bytes(data.data(), data.size()); }
    // A stream's bytes from its source, which must give the size the layout gave it.
    void stream(const stream_source& source, uint64_t size) {
        uint64_t given = 0;
        bool sunk = source([&](const char* data, size_t count) {
            given += count;
            bytes(data, count);
            return ok_;
        });
        if (sunk && ok_ && given != size)
            throw std::logic_error("compound file: a stream gave another size than it had");
        ok_ = ok_ && sunk;
    }
    void zeros(size_t count) {
        buffer_.append(count, '\0');
        if (buffer_.size() >= 65536) flush();
    }
    void id(uint32_t value) {
        char word[4];
        put_le32(word, value);
        bytes(word, 4);
    }
    // Zeros up to the next multiple of `unit`, `written` being the bytes of the piece so far.
    void pad(size_t written, size_t unit) {
        if (written % unit) zeros(unit - written % unit);
    }
    bool finish() {
        flush();
        return ok_;
    }

  private:
    void flush() {
        if (ok_ && !buffer_.empty()) ok_ = sink_(buffer_.data(), buffer_.size());
        buffer_.clear();
    }
    const byte_sink& sink_;
    std::string buffer_;
    bool ok_ = true;
};

namespace {

uint32_t first_or_end(size_t count, size_t first) {
    return count ? static_cast<uint32_t>(first) : end_of_chain;
}

}  // namespace

bool compound_file::emit(const layout& out, const byte_sink& sink) const {
    sector_writer w(sink);
    emit_header(w, out);
    emit_streams(w, out);
    emit_directory(w, out);
    emit_tables(w, out);
    return w.finish();
}

// The header sector: signature, version, sector sizes, where the tables start, and the
// first 109 FAT sector numbers.
void compound_file::emit_header(sector_writer& w, const layout& out) const {
    char header[sector_size] = {};
    static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(header, signature, 8);
    put_le16(header + 0x18, 0x003E);  // minor version
    put_le16(header + 0x1A, 0x0003);  // major version 3: 512-byte sectors
    put_le16(header + 0x1C, 0xFFFE);  // little-endian
    put_le16(header + 0x1E, 9);       // sector size 2^9
    put_le16(header + 0x20, 6);       // mini sector size 2^6
    put_le32(header + 0x2C, static_cast<uint32_t>(out.fat_sectors));
    put_le32(header + 0x30, static_cast<uint32_t>(out.directory_first));
    put_le32(header + 0x38, mini_cutoff);
    put_le32(header + 0x3C, first_or_end(out.mini_fat_sectors, out.mini_fat_first));
    put_le32(header + 0x40, static_cast<uint32_t>(out.mini_fat_sectors));
    put_le32(header + 0x44, first_or_end(out.difat_sectors, out.difat_first));
    put_le32(header + 0x48, static_cast<uint32_t>(out.difat_sectors));
    for (size_t i = 0; i < header_difat_slots; ++i) {
        uint32_t id = i < out.fat_sectors ? static_cast<uint32_t>(out.fat_first + i) : free_sector;
        put_le32(header + 0x4C + 4 * i, id);
    }
    w.bytes(header, sector_size);
}

// The mini stream, then every large stream in entry order.
void compound_file::emit_streams(sector_writer& w, const layout& out) const {
    for (const entry& e : entries_) {
        if (!is_small_stream(e)) continue;
        w.stream(e.source, e.size);
        w.pad(e.size, mini_sector_size);
    }
    w.pad(out.mini_sectors * mini_sector_size, sector_size);
    for (const entry& e : entries_) {
        if (e.type != stream_type || e.size == 0 || is_small_stream(e)) continue;
        w.stream(e.source, e.size);
        w.pad(e.size, sector_size);
    }
}

// The directory, padded with unused entries. The root's stream is the mini stream.
void compound_file::emit_directory(sector_writer& w, const layout& out) const {
    size_t slots = out.directory_sectors * entries_per_sector;
    for (size_t i = 0; i < slots; ++i) {
        char record[128] = {};
        if (i >= entries_.size()) {
            put_le32(record + 0x44, no_stream);
            put_le32(record + 0x48, no_stream);
            put_le32(record + 0x4C, no_stream);
            w.bytes(record, 128);
            continue;
        }
        const entry& e = entries_[i];
        for (size_t k = 0; k < e.name.size(); ++k) put_le16(record + 2 * k, e.name[k]);
        put_le16(record + 0x40, static_cast<uint16_t>((e.name.size() + 1) * 2));
        record[0x42] = static_cast<char>(e.type);
        record[0x43] = static_cast<char>(out.black[i]);
        put_le32(record + 0x44, out.left[i]);
        put_le32(record + 0x48, out.right[i]);
        put_le32(record + 0x4C, out.child[i]);
        std::memcpy(record + 0x50, e.id.data(), 16);
        uint64_t size = e.type == stream_type ? e.size
                        : e.type == root_type ? out.mini_sectors * mini_sector_size
                                              : 0;
        uint32_t start = e.type == stream_type ? out.start[i]
                         : e.type == root_type ? first_or_end(out.mini_sectors, 0)
                                               : 0;
        put_le32(record + 0x74, start);
        put_le32(record + 0x78, static_cast<uint32_t>(size));
        put_le32(record + 0x7C, static_cast<uint32_t>(size >> 32));
        w.bytes(record, 128);
    }
}

// Mini FAT, FAT and DIFAT, each padded with free entries; each DIFAT sector ends with the
// number of the next one.
void compound_file::emit_tables(sector_writer& w, const layout& out) const {
    for (size_t i = 0; i < out.mini_fat_sectors * ids_per_sector; ++i) {
        w.id(i < out.mini_fat.size() ? out.mini_fat[i] : free_sector);
    }
    for (uint32_t id : out.fat) w.id(id);
    for (size_t k = 0; k < out.difat_sectors; ++k) {
        for (size_t slot = 0; slot + 1 < ids_per_sector; ++slot) {
            size_t index = header_difat_slots + k * (ids_per_sector - 1) + slot;
            w.id(index < out.fat_sectors ? static_cast<uint32_t>(out.fat_first + index)
                                         : free_sector);
        }
        w.id(k + 1 < out.difat_sectors ? static_cast<uint32_t>(out.difat_first + k + 1)
                                       : end_of_chain);
    }
}

}  // namespace msg
