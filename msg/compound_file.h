#pragma once
// An OLE compound file (version 3, 512-byte sectors) built in memory and written in one
// pass. Streams under 4096 bytes go to the mini stream, larger ones to whole sectors; the
// FAT grows a DIFAT when it passes 109 sectors, so files of any size work.

#include <array>
#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace msg {

// Where the finished bytes go; false when a write fails (errno set by the sink).
using byte_sink = std::function<bool(const char* data, size_t size)>;

// Hands a stream's bytes to `sink` in order, in pieces, when the file is written; false
// when the sink fails.
using stream_source = std::function<bool(const byte_sink& sink)>;

class sector_writer;

// The order of sibling names in a storage: length first, then code units after upper-casing.
bool name_less(std::u16string_view a, std::u16string_view b);
struct name_order {
    bool operator()(std::u16string_view a, std::u16string_view b) const { return name_less(a, b); }
};

class compound_file {
  public:
    using clsid = std::array<uint8_t, 16>;

    compound_file();

    // The root storage is entry 0.
    static constexpr int root = 0;
    void set_clsid(int storage, const clsid& id);

    // Adds a storage or a stream under `parent`; returns the new entry. A stream's bytes
    // are not copied: they must stay alive until write() returns. A stream given by its
    // source is made while the file is written, and must give exactly `size` bytes.
    int add_storage(int parent, std::u16string name);
    int add_stream(int parent, std::u16string name, std::string_view data);
    int add_stream(int parent, std::u16string name, uint64_t size, stream_source source);

    // Lays the file out and hands every byte to `sink`, sector by sector.
    bool write(const byte_sink& sink) const;

  private:
    // The object types of directory entries.
    enum entry_type : uint8_t { storage_type = 1, stream_type = 2, root_type = 5 };

    struct entry {
        std::u16string name;
        entry_type type;
        uint64_t size = 0;  // a stream's
        stream_source source;
        std::vector<int> children;
        clsid id{};
        std::set<std::u16string, name_order> child_names;
    };
    std::vector<entry> entries_;

    struct layout;
    void plan(layout& out) const;
    void plan_trees(layout& out) const;
    void plan_mini_stream(layout& out) const;
    std::vector<std::pair<size_t, size_t>> plan_sectors(layout& out) const;
    void plan_fat(layout& out, const std::vector<std::pair<size_t, size_t>>& chains) const;

    bool emit(const layout& out, const byte_sink& sink) const;
    void emit_header(sector_writer& w, const layout& out) const;
    void emit_streams(sector_writer& w, const layout& out) const;
    void emit_directory(sector_writer& w, const layout& out) const;
    void emit_tables(sector_writer& w, const layout& out) const;

    int add(int parent, std::u16string name, entry_type type, uint64_t size, stream_source source);
    bool is_small_stream(const entry& e) const;
};

}  // namespace msg
