// Carving stores out of a disk image. The scan of the image hands over every block whose
// store would start on a sector boundary; blocks with the same start make up one carved
// store and are linked there exactly as in a store of their own. A chain that names a
// block its own store does not hold may then continue into another carved store, when
// the block it names is the only one in the image at that offset, of the same kind and
// not yet continuing anything: the clusters of a fragmented store lie apart.

#include "dbx/carve.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>
#include <unordered_map>

#include "dbx/link_index.h"
#include "dbx/offset_table.h"
#include "dbx/scan.h"
#include "platform/fs.h"
#include "platform/image.h"
#include "platform/read.h"
#include "platform/text.h"
#include "platform/view.h"

namespace {

// A predecessor in another carved store.
constexpr int32_t foreign_predecessor = -2;

struct carved_store {
    std::unique_ptr<dbx_t> store;
    link_index links[2];
};

// Sends each block to the carved store of its start and links it there; a block that lies
// in the bytes of a file already read is passed over.
class carve_sink : public block_sink {
  public:
    explicit carve_sink(const std::vector<platform::byte_range>& passed) : passed_(passed) {}

    void found(int list, uint64_t position, uint32_t own_offset, uint32_t next_offset,
               int32_t data_size) override {
        if (read_already(position)) return;
        carved_store& carved = store_at(position - own_offset);
        carved.links[list].add(carved.store->lists[list], own_offset, next_offset, data_size);
    }

    // The stores found, by increasing start; the link tables are dropped.
    std::vector<std::unique_ptr<dbx_t>> take_stores() {
        std::vector<std::unique_ptr<dbx_t>> stores;
        for (carved_store& carved : stores_) stores.push_back(std::move(carved.store));
        stores_.clear();
        // Stores that start before the image (their start wrapped below zero) come first.
        std::sort(stores.begin(), stores.end(),
                  [](const auto& a, const auto& b) { return int64_t(a->base) < int64_t(b->base); });
        return stores;
    }

  private:
    bool read_already(uint64_t position) const {
        auto after = std::upper_bound(
            passed_.begin(), passed_.end(), position,
            [](uint64_t at, const platform::byte_range& range) { return at < range.first; });
        return after != passed_.begin() && position < std::prev(after)->second;
    }

    carved_store& store_at(uint64_t start) {
        // Blocks of one store mostly come one after another.
        if (last_ < stores_.size() && stores_[last_].store->base == start) return stores_[last_];
        auto [at, added] = by_start_.try_emplace(start, stores_.size());
        if (added) {
            stores_.emplace_back();
            stores_.back().store = std::make_unique<dbx_t>();
            stores_.back().store->base = start;
        }
        last_ = at->second;
        return stores_[last_];
    }

    const std::vector<platform::byte_range>& passed_;  // ordered, apart
    std::vector<carved_store> stores_;
    std::unordered_map<uint64_t, size_t> by_start_;
    size_t last_ = SIZE_MAX;
};

// A block of one carved store: store, list and index.
struct block_place {
    size_t store;
    int list;
    int32_t index;
};

bool holds_offset(const dbx_t& store, uint32_t offset) {
    for (const dbx_block_list_t& list : store.lists)
        if (find_block(list, list.block_count, offset) >= 0) return true;
    return false;
}

// Links chain ends across carved stores and copies each continuation into the store of
// the chain's head, so that every store can be read on its own.
class cross_linker {
  public:
    explicit cross_linker(std::vector<std::unique_ptr<dbx_t>>& stores) : stores_(stores) {}

    void run() {
        find_dangling_ends();
        if (ends_.empty()) return;
        count_candidates();
        link_ends();
        note_heads_named_elsewhere();
        copy_continuations();
    }

  private:
    struct candidate {
        int count = 0;
        block_place place{};
    };

    dbx_block_t& block(const block_place& place) {
        return stores_[place.store]->lists[place.list].blocks[place.index];
    }

    static uint64_t key(const block_place& place) {
        return uint64_t(place.store) << 33 | uint64_t(place.list) << 32 | uint32_t(place.index);
    }

    // Chain ends whose next offset names no block of their own store.
    void find_dangling_ends() {
        for (size_t s = 0; s < stores_.size(); ++s) {
            for (int i = 0; i < 2; ++i) {
                const dbx_block_list_t& list = stores_[s]->lists[i];
                for (int32_t k = 0; k < list.block_count; ++k) {
                    const dbx_block_t& end = list.blocks[k];
                    if (end.next != -1 || end.next_offset == 0 ||
                        holds_offset(*stores_[s], end.next_offset))
                        continue;
                    ends_.push_back({s, i, k});
                    if (wanted_.find(end.next_offset) >= 0) continue;
                    wanted_.put(end.next_offset, int32_t(candidates_.size()));
                    candidates_.emplace_back();
                }
            }
        }
    }

    // How many blocks of the whole image lie at each offset named.
    void count_candidates() {
        for (size_t s = 0; s < stores_.size(); ++s) {
            for (int i = 0; i < 2; ++i) {
                const dbx_block_list_t& list = stores_[s]->lists[i];
                for (int32_t k = 0; k < list.block_count; ++k) {
                    int32_t at = wanted_.find(list.blocks[k].offset);
                    if (at < 0) continue;
                    if (candidates_[at].count++ == 0) candidates_[at].place = {s, i, k};
                }
            }
        }
    }

    // Each end links to the block it names when that block heads a chain of its own store
    // and the link closes no ring: a chain that would come back to a block it already
    // holds ends there, so every block joins at most one chain, as in a store.
    void link_ends() {
        for (const block_place& end : ends_) {
            const candidate& found = candidates_[wanted_.find(block(end).next_offset)];
            if (found.count != 1 || found.place.list != end.list) continue;
            dbx_block_t& target = block(found.place);
            if (target.prev != -1) continue;
            uint64_t joined = joined_chain(found.place), ending = joined_chain(head_of(end));
            if (joined == ending) continue;
            joined_[joined] = ending;
            target.prev = foreign_predecessor;
            stores_[found.place.store]->lists[found.place.list].chain_count--;
            links_[key(end)] = found.place;
        }
    }

    // Heads that an end left unlinked names: their chains may continue a message.
    void note_heads_named_elsewhere() {
        offset_table named[2];
        for (const block_place& end : ends_) {
            if (links_.count(key(end)) != 0) continue;
            uint32_t offset = block(end).next_offset;
            if (named[end.list].find(offset) < 0) named[end.list].put(offset, 0);
        }
        if (named[0].empty() && named[1].empty()) return;
        for (std::unique_ptr<dbx_t>& store : stores_) {
            for (int i = 0; i < 2; ++i) {
                dbx_block_list_t& list = store->lists[i];
                for (int32_t k = 0; k < list.block_count; ++k) {
                    const dbx_block_t& head = list.blocks[k];
                    if (head.prev == -1 && named[i].find(head.offset) >= 0)
                        list.heads_named_elsewhere.push_back(head.offset);
                }
            }
        }
    }

    // The first block of the chain `place` lies in within its own store.
    block_place head_of(block_place place) {
        for (int32_t prev; (prev = block(place).prev) >= 0;) place.index = prev;
        return place;
    }

    // The chain across stores that the chain of its own store headed by `head` has joined
    // so far, named by one of its heads: the chains linked so far, each joined to the one
    // it continues, with paths halved as they are followed.
    uint64_t joined_chain(const block_place& head) {
        uint64_t at = key(head);
        for (auto up = joined_.find(at); up != joined_.end(); up = joined_.find(at)) {
            auto further = joined_.find(up->second);
            if (further != joined_.end()) up->second = further->second;
            at = up->second;
        }
        return at;
    }

    // The blocks a linked end continues into, through their own stores and further links.
    std::vector<block_place> continuation(const block_place& end) {
        std::vector<block_place> blocks;
        block_place at = links_.at(key(end));
        for (;;) {
            blocks.push_back(at);
            int32_t next = block(at).next;
            if (next >= 0) {
                at.index = next;
                continue;
            }
            auto further = links_.find(key(at));
            if (further == links_.end()) break;
            at = further->second;
        }
        return blocks;
    }

    void copy_continuations() {
        std::vector<std::pair<block_place, std::vector<block_place>>> copies;
        for (const block_place& end : ends_) {
            if (links_.count(key(end)) != 0) copies.emplace_back(end, continuation(end));
        }
        for (const auto& [end, blocks] : copies) {
            dbx_block_list_t& list = stores_[end.store]->lists[end.list];
            int32_t before = end.index;
            for (const block_place& place : blocks) {
                dbx_block_t copy = block(place);
                copy.prev = before;
                copy.next = -1;
                int32_t index = int32_t(list.blocks.size());
                list.blocks.push_back(copy);
                list.borrowed_bases.push_back(stores_[place.store]->base);
                list.blocks[before].next = index;
                before = index;
            }
        }
    }

    std::vector<std::unique_ptr<dbx_t>>& stores_;
    std::vector<block_place> ends_;
    offset_table wanted_;  // offset named -> its candidate
    std::vector<candidate> candidates_;
    std::unordered_map<uint64_t, block_place> links_;
    std::unordered_map<uint64_t, uint64_t> joined_;  // head of a chain -> a chain it joined
};

void release(carved_image* image) {
    for (dbx_t* store : image->file_stores) dbx_close(store);
    for (dbx_t* store : image->stores) dbx_close(store);
    delete image;  // the image's source is closed after its stores
}

void say_note(const carved_image& image, const std::string& note) {
    std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(image.file_name).c_str(),
                 platform::printable(note).c_str());
    std::fflush(stderr);
}

bool is_store_name(std::string_view name) {
    return name.size() >= 4 && platform::equal_ignoring_case(name.substr(name.size() - 4), ".dbx");
}

// Reads each `.dbx` file of the image's file systems as a store named
// <image>/<partition>/<path>; `read` gets the image bytes read so. False when the run was
// abandoned.
bool read_file_stores(carved_image* image, std::vector<platform::byte_range>& read) {
    platform::file_system_survey survey =
        platform::survey_file_systems(*image->source, is_store_name);
    // Said before any store is scanned: what of the file systems is carved instead.
    for (const std::string& note : survey.notes) say_note(*image, note);
    read = std::move(survey.read);
    // Allocated files first, then deleted ones, each in the order found.
    std::stable_partition(survey.files.begin(), survey.files.end(),
                          [](const platform::found_file& file) { return !file.deleted; });
    for (platform::found_file& file : survey.files) {
        std::string name = image->file_name + "/" + file.partition + "/" + file.path;
        platform::source_opener open_file = [&](const char*, platform::source_kind) {
            platform::source_opening opening;
            opening.source = platform::open_found_file(*image->source, file, name);
            opening.opened = true;
            return opening;
        };
        dbx_t* store = dbx_open(name.c_str(), nullptr, &open_file);
        if (store == nullptr) {
            if (!run_checkpoint()) return false;
            say_note(*image, file.partition + "/" + file.path + " could not be read as a store");
            continue;
        }
        store->found_as = std::move(file);
        image->file_stores.push_back(store);
    }
    return true;
}

bool carve(carved_image* image, bool file_systems) {
    std::vector<platform::byte_range> read;
    if (file_systems && !read_file_stores(image, read)) return false;
    carve_sink sink(read);
    if (!_dbx_scan_image(*image->source, image->file_name, sink, image->unreadable)) return false;
    std::vector<std::unique_ptr<dbx_t>> stores = sink.take_stores();
    cross_linker(stores).run();
    for (std::unique_ptr<dbx_t>& store : stores) {
        store->source = image->source.get();
        store->carved = true;
        store->file_name = image->file_name;
        store->file_size = int64_t(image->size);
        store->unreadable = image->unreadable;
        for (dbx_block_list_t& list : store->lists) _dbx_make_chains(list);
        image->stores.push_back(store.release());
    }
    return true;
}

}  // namespace

carved_image* dbx_carve(const char* path, const platform::source_opener* open, bool file_systems) {
    auto* image = new (std::nothrow) carved_image;
    if (image == nullptr) return nullptr;
    platform::source_opening opening =
        open ? (*open)(path, platform::source_kind::image) : platform::open_image_source(path);
    if (!opening.source) {
        release(image);
        errno = opening.error;
        return nullptr;
    }
    image->source = std::move(opening.source);
    image->faults = image->source->faults();
    bool carved = false;
    try {
        image->file_name = path;
        image->size = image->source->size();
        carved = carve(image, file_systems);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    }
    if (!carved) {
        int error = errno;
        release(image);
        errno = carved ? 0 : error;
        return nullptr;
    }
    return image;
}

void dbx_carve_close(carved_image* image) {
    if (image != nullptr) release(image);
}
