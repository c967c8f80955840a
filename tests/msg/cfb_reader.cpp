#include "cfb_reader.h"

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

constexpr uint32_t free_sector = 0xFFFFFFFF, end_of_chain = 0xFFFFFFFE, fat_mark = 0xFFFFFFFD,
                   difat_mark = 0xFFFFFFFC, no_stream = 0xFFFFFFFF;

uint32_t u32(const std::string& b, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b[at + i]);
    return v;
}
uint16_t u16(const std::string& b, size_t at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1])
                                                                   << 8);
}

std::string hex(uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(v));
    return text;
}

// The sibling order, written independently of the writer's.
int compare_names(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    for (size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i] >= 'a' && a[i] <= 'z' ? a[i] - 32 : a[i];
        char16_t y = b[i] >= 'a' && b[i] <= 'z' ? b[i] - 32 : b[i];
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

class reader {
  public:
    explicit reader(const std::string& bytes) : b_(bytes) {}

    cfb_file run() {
        if (b_.size() < 512 || b_.size() % 512) return fail("size " + std::to_string(b_.size()));
        static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        if (std::memcmp(b_.data(), signature, 8) != 0) return fail("signature");
        expect(u16(b_, 0x18) == 0x3E && u16(b_, 0x1A) == 3, "version");
        expect(u16(b_, 0x1C) == 0xFFFE && u16(b_, 0x1E) == 9 && u16(b_, 0x20) == 6, "shifts");
        expect(u32(b_, 0x28) == 0 && u32(b_, 0x38) == 4096, "directory count or cutoff");
        sectors_ = b_.size() / 512 - 1;
        owner_.assign(sectors_, "");
        read_fat();
        if (!out_.problems.empty()) return out_;
        auto directory = chain(u32(b_, 0x30), "directory");
        read_directory(directory);
        if (!out_.problems.empty()) return out_;
        read_mini_fat();
        read_streams();
        walk_tree();
        for (size_t s = 0; s < sectors_; ++s) {
            if (fat_[s] != free_sector && owner_[s].empty()) {
                problem("sector " + std::to_string(s) + " used in the FAT but by no one");
            }
        }
        return out_;
    }

  private:
    cfb_file fail(const std::string& what) {
        out_.problems.push_back(what);
        return out_;
    }
    void problem(const std::string& what) { out_.problems.push_back(what); }
    void expect(bool ok, const std::string& what) {
        if (!ok) problem(what);
    }
    std::string sector(uint32_t s) const {
        return b_.substr(512 * (static_cast<size_t>(s) + 1), 512);
    }

    void claim(uint32_t s, const std::string& who) {
        if (s >= sectors_) return problem(who + ": sector " + std::to_string(s) + " past the end");
        if (!owner_[s].empty())
            problem(who + ": sector " + std::to_string(s) + " also used by " + owner_[s]);
        owner_[s] = who;
    }

    void read_fat() {
        size_t fat_count = u32(b_, 0x2C);
        std::vector<uint32_t> fat_ids;
        for (size_t i = 0; i < 109; ++i) {
            uint32_t id = u32(b_, 0x4C + 4 * i);
            if (i < fat_count)
                fat_ids.push_back(id);
            else
                expect(id == free_sector, "header DIFAT slot " + std::to_string(i) + " not free");
        }
        uint32_t difat = u32(b_, 0x44);
        size_t difat_count = u32(b_, 0x48);
        std::vector<uint32_t> difat_ids;
        for (size_t k = 0; k < difat_count; ++k) {
            if (difat >= sectors_) return problem("DIFAT chain broken at " + std::to_string(k));
            difat_ids.push_back(difat);
            std::string s = sector(difat);
            for (size_t slot = 0; slot < 127; ++slot) {
                uint32_t id = u32(s, 4 * slot);
                if (fat_ids.size() < fat_count)
                    fat_ids.push_back(id);
                else
                    expect(id == free_sector, "DIFAT slot not free");
            }
            difat = u32(s, 508);
        }
        expect(difat == end_of_chain, "DIFAT does not end with ENDOFCHAIN");
        expect(fat_ids.size() == fat_count, "DIFAT lists too few FAT sectors");
        for (uint32_t id : fat_ids) {
            if (id >= sectors_) return problem("FAT sector past the end");
            std::string s = sector(id);
            for (size_t i = 0; i < 128; ++i) fat_.push_back(u32(s, 4 * i));
        }
        if (fat_.size() < sectors_) return problem("FAT shorter than the file");
        for (size_t i = sectors_; i < fat_.size(); ++i)
            expect(fat_[i] == free_sector, "FAT entry past the file not free");
        for (uint32_t id : fat_ids) {
            claim(id, "FAT");
            expect(fat_[id] == fat_mark, "FAT sector not marked FATSECT");
        }
        for (uint32_t id : difat_ids) {
            claim(id, "DIFAT");
            expect(fat_[id] == difat_mark, "DIFAT sector not marked DIFSECT");
        }
        for (size_t s = 0; s < sectors_; ++s) {
            bool marked = fat_[s] == fat_mark || fat_[s] == difat_mark;
            bool listed = owner_[s] == "FAT" || owner_[s] == "DIFAT";
            expect(marked == listed, "sector " + std::to_string(s) + " marked but not listed");
        }
        out_.fat_sectors = fat_count;
        out_.difat_sectors = difat_count;
    }

    std::vector<uint32_t> chain(uint32_t first, const std::string& who) {
        std::vector<uint32_t> list;
        for (uint32_t s = first; s != end_of_chain;) {
            if (s >= sectors_ || list.size() > sectors_) {
                problem(who + ": chain broken at " + hex(s));
                break;
            }
            claim(s, who);
            list.push_back(s);
            s = fat_[s];
        }
        return list;
    }

    std::string read_chain(uint32_t first, uint64_t size, const std::string& who) {
        std::string data;
        for (uint32_t s : chain(first, who)) data += sector(s);
        expect(data.size() == (size + 511) / 512 * 512, who + ": chain length differs from size");
        if (data.size() > size) data.resize(size);
        return data;
    }

    void read_directory(const std::vector<uint32_t>& sectors) {
        for (uint32_t s : sectors) {
            std::string raw = sector(s);
            for (size_t at = 0; at < 512; at += 128) {
                cfb_entry e;
                uint16_t name_bytes = u16(raw, at + 0x40);
                e.type = static_cast<uint8_t>(raw[at + 0x42]);
                e.colour = static_cast<uint8_t>(raw[at + 0x43]);
                e.left = u32(raw, at + 0x44);
                e.right = u32(raw, at + 0x48);
                e.child = u32(raw, at + 0x4C);
                e.start = u32(raw, at + 0x74);
                e.size = u32(raw, at + 0x78) | static_cast<uint64_t>(u32(raw, at + 0x7C)) << 32;
                std::string who = "entry " + std::to_string(out_.entries.size());
                for (size_t t = 0x64; t < 0x74; ++t)
                    expect(raw[at + t] == 0, who + ": time not zero");
                if (e.type == 0) {
                    expect(e.left == no_stream && e.right == no_stream && e.child == no_stream,
                           who + ": unused entry with links");
                } else {
                    if (name_bytes < 2 || name_bytes > 64 || name_bytes % 2) {
                        problem(who + ": name length");
                        name_bytes = 2;
                    }
                    for (size_t k = 0; k + 2 < name_bytes; k += 2)
                        e.name += char16_t(u16(raw, at + k));
                    expect(u16(raw, at + name_bytes - 2) == 0, who + ": name not terminated");
                }
                out_.entries.push_back(e);
            }
        }
        if (out_.entries.empty() || out_.entries[0].type != 5) return problem("no root entry");
        expect(out_.entries[0].name == u"Root Entry" && out_.entries[0].colour == 1, "root entry");
    }

    void read_mini_fat() {
        uint32_t first = u32(b_, 0x3C);
        size_t count = u32(b_, 0x40);
        auto sectors = first == end_of_chain ? std::vector<uint32_t>() : chain(first, "mini FAT");
        expect(sectors.size() == count, "mini FAT sector count");
        out_.mini_fat_sectors = count;
        for (uint32_t s : sectors) {
            std::string raw = sector(s);
            for (size_t i = 0; i < 128; ++i) mini_fat_.push_back(u32(raw, 4 * i));
        }
        const cfb_entry& root = out_.entries[0];
        expect(root.size % 64 == 0, "mini stream size not whole mini sectors");
        mini_stream_ = root.size ? read_chain(root.start, root.size, "mini stream") : "";
        if (!root.size) expect(root.start == end_of_chain, "empty mini stream start");
        mini_owner_.assign(mini_stream_.size() / 64, false);
    }

    std::string read_mini(uint32_t first, uint64_t size, const std::string& who) {
        std::string data;
        for (uint32_t s = first; s != end_of_chain;) {
            if (s >= mini_owner_.size() || s >= mini_fat_.size()) {
                problem(who + ": mini chain broken");
                break;
            }
            if (mini_owner_[s]) problem(who + ": mini sector shared");
            mini_owner_[s] = true;
            data += mini_stream_.substr(64 * s, 64);
            s = mini_fat_[s];
        }
        expect(data.size() == (size + 63) / 64 * 64, who + ": mini chain length differs from size");
        if (data.size() > size) data.resize(size);
        return data;
    }

    void read_streams() {
        for (size_t i = 1; i < out_.entries.size(); ++i) {
            cfb_entry& e = out_.entries[i];
            std::string who = "stream " + narrow(e.name);
            if (e.type == 1) expect(e.start == 0 && e.size == 0, "storage with start or size");
            if (e.type != 2) continue;
            if (e.size == 0)
                expect(e.start == end_of_chain, who + ": empty stream start");
            else if (e.size < 4096)
                e.data = read_mini(e.start, e.size, who);
            else
                e.data = read_chain(e.start, e.size, who);
        }
        for (size_t i = 0; i < mini_owner_.size(); ++i) {
            // Padding mini sectors past the last stream may stay unused, never used ones.
            if (!mini_owner_[i] && i < mini_fat_.size()) {
                expect(mini_fat_[i] == free_sector,
                       "mini sector used in the mini FAT but by no one");
            }
        }
    }

    // Walks one storage's tree: order, colours, black heights; returns the black height.
    int walk(uint32_t node, int parent_colour, std::vector<int>& children, const cfb_entry* low,
             const cfb_entry* high) {
        if (node == no_stream) return 1;
        if (node >= out_.entries.size() || seen_[node]) {
            problem("tree link " + hex(node) + " invalid or shared");
            return 0;
        }
        seen_[node] = true;
        const cfb_entry& e = out_.entries[node];
        expect(e.type == 1 || e.type == 2, "tree reaches an unused entry");
        if (low)
            expect(compare_names(low->name, e.name) < 0,
                   "siblings out of order: " + narrow(e.name));
        if (high)
            expect(compare_names(e.name, high->name) < 0,
                   "siblings out of order: " + narrow(e.name));
        expect(!(e.colour == 0 && parent_colour == 0),
               "red child of a red node: " + narrow(e.name));
        int left = walk(e.left, e.colour, children, low, &e);
        children.push_back(static_cast<int>(node));
        int right = walk(e.right, e.colour, children, &e, high);
        expect(left == right, "black heights differ under " + narrow(e.name));
        if (e.type == 1) walk_storage(static_cast<int>(node));
        return left + (e.colour == 1 ? 1 : 0);
    }

    void walk_storage(int index) {
        cfb_entry& storage = out_.entries[index];
        uint32_t top = storage.child;
        if (top != no_stream && top < out_.entries.size()) {
            expect(out_.entries[top].colour == 1, "red tree root under " + narrow(storage.name));
        }
        std::vector<int> children;
        walk(top, 1, children, nullptr, nullptr);
        out_.entries[index].children = children;
    }

    void walk_tree() {
        seen_.assign(out_.entries.size(), false);
        seen_[0] = true;
        walk_storage(0);
        for (size_t i = 0; i < out_.entries.size(); ++i) {
            if (out_.entries[i].type != 0 && !seen_[i])
                problem("entry " + std::to_string(i) + " unreachable");
        }
    }

    const std::string& b_;
    cfb_file out_;
    size_t sectors_ = 0;
    std::vector<uint32_t> fat_, mini_fat_;
    std::vector<std::string> owner_;
    std::string mini_stream_;
    std::vector<bool> mini_owner_, seen_;
};

}  // namespace

std::string narrow(const std::u16string& name) {
    std::string out;
    for (char16_t c : name) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

cfb_file read_cfb(const std::string& bytes) {
    return reader(bytes).run();
}

const cfb_entry* cfb_file::find(const std::string& path) const {
    int current = 0;
    size_t at = 0;
    while (at < path.size()) {
        size_t slash = path.find('/', at);
        std::string part =
            path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
        int next = -1;
        for (int child : entries[current].children) {
            if (narrow(entries[child].name) == part) next = child;
        }
        if (next < 0) return nullptr;
        current = next;
        at = slash == std::string::npos ? path.size() : slash + 1;
    }
    return &entries[current];
}

std::vector<std::string> cfb_file::list(const std::string& path) const {
    std::vector<std::string> names;
    if (const cfb_entry* e = find(path)) {
        for (int child : e->children) names.push_back(narrow(entries[child].name));
    }
    return names;
}

property_stream read_properties(const std::string& data, size_t header_size) {
    property_stream out;
    if (data.size() < header_size) return out;
    if (header_size >= 24) {
        out.next_recipient = u32(data, 8);
        out.recipients = u32(data, 16);
        out.attachments = u32(data, 20);
    }
    for (size_t at = header_size; at + 16 <= data.size(); at += 16) {
        out.values[u32(data, at)] = u32(data, at + 8) | static_cast<uint64_t>(u32(data, at + 12))
                                                            << 32;
    }
    return out;
}

namespace {

void check_object(const cfb_file& file, const std::string& storage, size_t header_size,
                  std::vector<std::string>& problems) {
    std::string prefix = storage.empty() ? "" : storage + "/";
    const cfb_entry* props = file.find(prefix + "__properties_version1.0");
    if (!props) return problems.push_back(prefix + ": no property stream");
    if ((props->data.size() - header_size) % 16)
        problems.push_back(prefix + ": property stream size");
    auto values = read_properties(props->data, header_size).values;
    for (auto [tag, size] : values) {
        if ((tag & 0xFFFF) != 0x001F) continue;
        char name[32];
        std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
        const cfb_entry* stream = file.find(prefix + name);
        if (!stream)
            problems.push_back(prefix + name + ": no stream for the property");
        else if (stream->size + 2 != size)
            problems.push_back(prefix + name + ": size field differs");
    }
    for (const std::string& name : file.list(storage)) {
        if (name.rfind("__substg1.0_", 0) != 0) continue;
        uint32_t tag = static_cast<uint32_t>(std::stoul(name.substr(12), nullptr, 16));
        if (name.substr(12) != [&] {
                char t[16];
                std::snprintf(t, sizeof t, "%08X", static_cast<unsigned>(tag));
                return std::string(t);
            }()) {
            problems.push_back(prefix + name + ": tag not in upper-case hex");
        }
        if (!values.count(tag))
            problems.push_back(prefix + name + ": stream without property entry");
        const cfb_entry* entry = file.find(prefix + name);
        if (entry->type == 2 && entry->size == 0 && (tag & 0xFFFF) == 0x001F)
            problems.push_back(prefix + name + ": empty string stream");
    }
}

}  // namespace

namespace {

// Storages of one kind ("__recip" or "__attach") below `storage`, checked and counted
// against the number the property stream gives.
void check_children(const cfb_file& file, const std::string& storage, const char* kind,
                    uint32_t count, std::vector<std::string>& problems);

// A message object (the top level, or an embedded one) with its recipients and attachments.
void check_message_object(const cfb_file& file, const std::string& storage,
                          std::vector<std::string>& problems) {
    size_t header_size = storage.empty() ? 32 : 24;
    check_object(file, storage, header_size, problems);
    const cfb_entry* props = file.find(storage.empty() ? "__properties_version1.0"
                                                       : storage + "/__properties_version1.0");
    property_stream counts = props ? read_properties(props->data, header_size) : property_stream{};
    check_children(file, storage, "__recip_version1.0_#", counts.recipients, problems);
    check_children(file, storage, "__attach_version1.0_#", counts.attachments, problems);
}

void check_children(const cfb_file& file, const std::string& storage, const char* kind,
                    uint32_t count, std::vector<std::string>& problems) {
    std::string prefix = storage.empty() ? "" : storage + "/";
    size_t storages = 0;
    for (const std::string& name : file.list(storage)) {
        if (name.rfind(kind, 0) != 0) continue;
        ++storages;
        check_object(file, prefix + name, 8, problems);
        std::string embedded = prefix + name + "/__substg1.0_3701000D";
        if (const cfb_entry* e = file.find(embedded); e && e->type == 1) {
            check_message_object(file, embedded, problems);
        }
    }
    if (storages != count) problems.push_back(prefix + kind + " count differs from the storages");
    for (uint32_t i = 0; i < count; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "%s%08X", kind, static_cast<unsigned>(i));
        if (!file.find(prefix + name)) problems.push_back(prefix + name + " missing");
    }
}

}  // namespace

std::vector<std::string> check_message(const cfb_file& file) {
    std::vector<std::string> problems = file.problems;
    if (!problems.empty()) return problems;
    check_message_object(file, "", problems);
    for (const char* id : {"00020102", "00030102", "00040102"}) {
        const cfb_entry* e = file.find(std::string("__nameid_version1.0/__substg1.0_") + id);
        if (!e || e->type != 2)
            problems.push_back(std::string("name-id stream ") + id + " missing");
    }
    return problems;
}

std::u16string string_property(const cfb_file& file, const std::string& storage, uint32_t tag) {
    char name[32];
    std::snprintf(name, sizeof name, "__substg1.0_%08X", static_cast<unsigned>(tag));
    const cfb_entry* e = file.find(storage.empty() ? name : storage + "/" + name);
    if (!e) return {};
    std::u16string text;
    for (size_t i = 0; i + 1 < e->data.size(); i += 2) text += char16_t(u16(e->data, i));
    return text;
}
