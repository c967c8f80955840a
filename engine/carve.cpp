// Running the stores found in a disk image, one after another, as store runs: those read
// through its file systems by their paths, then those carved from the rest.

#include "dbx/carve.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "dbx/folders_file.h"
#include "dbx/integrity.h"
#include "engine/collection.h"
#include "engine/engine.h"
#include "engine/message_name.h"
#include "engine/run.h"
#include "engine/sinks.h"
#include "engine/store_state.h"
#include "engine/store_tree.h"
#include "engine/sys.h"
#include "platform/file_systems.h"
#include "platform/fs.h"
#include "platform/read.h"
#include "platform/text.h"

namespace {

struct image_closer {
    void operator()(carved_image* image) const { dbx_carve_close(image); }
};

bool has_chains(const dbx_t& store) {
    return store.lists[0].chain_count > 0 || store.lists[1].chain_count > 0;
}

// The stores of an image in the order they run: those read through its file systems, then
// the carved ones.
std::vector<dbx_t*> stores_of(const carved_image& image) {
    std::vector<dbx_t*> stores = image.file_stores;
    stores.insert(stores.end(), image.stores.begin(), image.stores.end());
    return stores;
}

std::vector<std::string> store_folders(const dbx_t& store,
                                       const std::vector<std::string>& tree_path);

// Whether the bytes of a file the file system names are all its own: an allocated file's
// are, a deleted file's when none of its clusters has been given to anything since. Only
// then are its index and folder tree read: a tree node or info object read from another
// file's bytes would lend a message a state it never had.
bool bytes_whole(const platform::found_file& file) {
    return !file.deleted || file.reused.empty();
}

// The folder a file lies in: its partition and the folders of its path.
std::string folder_of(const platform::found_file& file) {
    return file.partition + "/" + file.path.substr(0, platform::file_name_start(file.path));
}

// What the store's index and its folder's Folders.dbx add to a store read through a file
// system: the index when its bytes are whole, and the folders the Folders.dbx in the same
// folder of the same file system (whole, allocated ones first) names it by. A carved store
// has no folder, and its index is not read: nothing says that the bytes its file header
// points at past the blocks found are its own.
class image_facts {
  public:
    explicit image_facts(const carved_image& image) : image_(image) {}

    // What the index of `store` says, read now; empty for a carved store and for a deleted
    // file whose bytes are not all its own.
    store_state state_of(const dbx_t& store) {
        if (!store.found_as || !bytes_whole(*store.found_as)) return {};
        return _read_store_state(store);
    }

    // The display names the folder tree of the store's folder names it by, from the top down;
    // empty when none does.
    std::vector<std::string> tree_path_of(const dbx_t& store) {
        if (!store.found_as) return {};
        const std::optional<dbx_folder_tree>& tree = tree_of(*store.found_as);
        if (!tree) return {};
        return store_folder_path(*tree, store.found_as->path);
    }

    // The folders of `store` under its image's (store_folders), its own one its alone, as a
    // run of store files gives them: where another store of the image took its folder
    // already, "<name> (2)" and on (names compared ignoring case, as Windows compares them),
    // said on standard error.
    std::vector<std::string> folders_of(const dbx_t& store,
                                        const std::vector<std::string>& tree_path) {
        std::vector<std::string> names = store_folders(store, tree_path);
        std::string parent = joined_names({names.begin(), names.end() - 1});
        auto taken = std::find_if(own_folders_.begin(), own_folders_.end(), [&](const auto& in) {
            return platform::equal_ignoring_case(in.first, parent);
        });
        if (taken == own_folders_.end()) taken = own_folders_.insert(taken, {parent, {}});
        std::string own = platform::take_unique_name(taken->second, names.back());
        if (own != names.back()) {
            names.back() = own;
            std::fprintf(stderr,
                         "morvale: %s: another store of this image has the same folder; its "
                         "messages go to %s\n",
                         platform::printable(store.file_name).c_str(),
                         platform::printable(joined_names(names)).c_str());
            std::fflush(stderr);
        }
        return names;
    }

  private:
    const std::optional<dbx_folder_tree>& tree_of(const platform::found_file& file) {
        std::string folder = folder_of(file);
        auto [at, added] = trees_.try_emplace(folder);
        if (!added) return at->second;
        for (const dbx_t* other : image_.file_stores) {
            const platform::found_file& found = *other->found_as;
            if (!bytes_whole(found) || folder_of(found) != folder ||
                !platform::equal_ignoring_case(platform::file_name_of(found.path), "Folders.dbx"))
                continue;
            platform::source_opener open = [&](const char*, platform::source_kind) {
                platform::source_opening opening;
                opening.source = platform::open_found_file(*image_.source, found, other->file_name);
                opening.opened = true;
                return opening;
            };
            dbx_folder_tree tree = dbx_read_folder_tree(other->file_name.c_str(), &open);
            say_tree_note(other->file_name, tree);
            if (tree.folders.empty()) continue;
            at->second = std::move(tree);
            break;
        }
        return at->second;
    }

    const carved_image& image_;
    std::map<std::string, std::optional<dbx_folder_tree>> trees_;  // by folder_of
    // By the folder they lie in (under the image's), the stores' own folders.
    std::vector<std::pair<std::string, std::vector<std::string>>> own_folders_;
};

// The folders of a store under its image's: a carved store's start; a store read through
// a file system, its partition, the folders of its path and its own name without ".dbx",
// each name made one that every system can hold; the last of them, where the folder tree
// of its folder names it, the tree's folders down to it (`tree_path`).
std::vector<std::string> store_folders(const dbx_t& store,
                                       const std::vector<std::string>& tree_path) {
    if (!store.found_as) return {carved_folder_name(store.base)};
    std::vector<std::string> names = {store.found_as->partition};
    const std::string& path = store.found_as->path;
    for (size_t at = 0; at <= path.size();) {
        size_t end = std::min(path.find('/', at), path.size());
        if (end == path.size() && !tree_path.empty()) break;
        std::string name = path.substr(at, end - at);
        if (end == path.size()) name = store_folder_name(name);
        if (at != end) names.push_back(safe_folder_name(name));
        at = end + 1;
    }
    for (std::string& name : safe_folder_names(tree_path)) names.push_back(std::move(name));
    return names;
}

// What the list run says a store is: where it starts, or its path and whether its file
// was deleted.
std::string store_label(const dbx_t& store) {
    if (!store.found_as) return "at " + carved_folder_name(store.base);
    return store.found_as->partition + "/" + store.found_as->path +
           (store.found_as->deleted ? " (deleted file)" : "");
}

// What a run of one store of an image takes from its index and folder tree.
struct store_facts {
    store_state state;
    std::vector<std::string> tree_path;  // display names, from the top down
    std::string folder_path;             // the same, '/' between them
    store_facts(image_facts& facts, const dbx_t& store)
        : state(facts.state_of(store)),
          tree_path(facts.tree_path_of(store)),
          folder_path(joined_names(tree_path)) {}
};

// Saves one store into its folder under the image's; false when it could not be entered.
bool save_carved(main_view* dialog, dbx_t* store, const std::string& image_folder, int mode,
                 image_facts& facts_of, const store_facts& facts, recover_totals& totals) {
    std::string folder = image_folder;
    for (const std::string& name : facts_of.folders_of(*store, facts.tree_path)) {
        if (!make_own_folder(folder, name)) return false;
        folder = in_folder(folder.c_str(), name);
    }
    if (sys_chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "error: can't chdir to %s\n", platform::printable(folder).c_str());
        return false;
    }
    folder_sink files(folder, mode, *store);
    totals = _recover({dialog, files, mode, nullptr, &facts.state, &facts.folder_path}, store,
                      std::move(totals));
    return true;
}

// Runs every carved store that holds a chain into the collection, under the image's folder
// and the store's start.
void collect_carved(main_view* dialog, carved_image& image, message_collection& into,
                    const std::vector<std::string>& image_folder, run_outcome& result,
                    recover_totals& totals) {
    image_facts facts_of(image);
    for (dbx_t* store : stores_of(image)) {
        if (!has_chains(*store)) continue;
        store_facts facts(facts_of, *store);
        std::vector<std::string> store_folder = image_folder;
        for (std::string& name : facts_of.folders_of(*store, facts.tree_path))
            store_folder.push_back(std::move(name));
        collection_sink sink(into, std::move(store_folder));
        result.folder_entered = true;
        totals = _recover({dialog, sink, 1, nullptr, &facts.state, &facts.folder_path}, store,
                          std::move(totals));
        if (totals.abandoned || totals.output_failed) return;
    }
}

// Runs every carved store that holds a chain, in order of start. The messages of a store
// whose folder cannot be made are errors; the run has saved nothing only when no store's
// folder could be entered.
void run_carved(main_view* dialog, carved_image& image, const char* folder, const char* folder_name,
                int mode, const std::function<void(const std::string&)>& store_done,
                run_outcome& result, recover_totals& totals) {
    std::string image_folder;
    if (folder) {
        std::string name =
            folder_name ? folder_name : store_folder_name(platform::file_name_of(image.file_name));
        if (!make_own_folder(folder, name)) return;
        image_folder = in_folder(folder, name);
    }
    image_facts facts_of(image);
    for (dbx_t* store : stores_of(image)) {
        if (!has_chains(*store)) continue;  // all its blocks continue chains of other stores
        store_facts facts(facts_of, *store);
        if (folder && !save_carved(dialog, store, image_folder, mode, facts_of, facts, totals)) {
            totals.errors +=
                std::max(store->lists[0].chain_count, 0) + std::max(store->lists[1].chain_count, 0);
            continue;
        }
        if (folder) result.folder_entered = true;
        if (!folder) {
            listing_sink list;
            totals = _recover({dialog, list, 0, nullptr, &facts.state, &facts.folder_path}, store,
                              std::move(totals));
        }
        if (totals.abandoned) return;
        if (store_done) store_done(store_label(*store));
    }
}

}  // namespace

// A store that starts before the image (an extract taken from inside it) is named by its
// distance before the image's start, after a minus sign.
std::string carved_folder_name(uint64_t start) {
    std::string name = dbx_start_hex(start);  // "0x…" or "-0x…"
    return name.erase(name[0] == '-' ? 1 : 0, 2);
}

namespace {

// A run over the stores carved from one disk image.
class carve_run : public run_steps {
  public:
    carve_run(const char* folder, const char* image_path,
              const std::function<void(const std::string&)>& store_done, const char* image_folder,
              message_collection* into, std::vector<std::string> into_folder,
              const platform::source_opener* open, bool file_systems)
        : folder_(folder),
          image_path_(image_path),
          store_done_(store_done),
          image_folder_(image_folder),
          into_(into),
          into_folder_(std::move(into_folder)),
          mode_(folder ? save_mode.load() : 0),
          open_(open),
          file_systems_(file_systems) {}

    bool open() override {
        image_.reset(dbx_carve(image_path_, open_, file_systems_));
        open_error_ = errno;
        return image_ != nullptr;
    }

    void say_not_opened() override {
        std::fprintf(stderr, "dbx_carve: %s\n", platform::read_error_text(open_error_));
        // A stream gives its bytes once, in order; the carve reads an image by position.
        if (open_error_ == platform::not_regular_file)
            std::fprintf(stderr,
                         "morvale: %s: an image must be read by position: write the stream to a "
                         "file first, or carve an EWF image of it\n",
                         platform::printable(image_path_).c_str());
        std::fflush(stderr);
    }

    void report_unreadable(main_view* dialog, recover_totals& totals) override {
        for (const std::string& fault : image_->faults) {
            std::fprintf(stderr, "morvale: %s: %s\n",
                         platform::printable(image_->file_name).c_str(),
                         platform::printable(fault).c_str());
            dialog->unreadable_bytes(image_->file_name, fault);
            totals.damaged = true;
        }
        std::fflush(stderr);
        for (const unreadable_range& range : image_->unreadable)
            ::report_unreadable(dialog, totals, image_->file_name, range);
    }

    bool nothing_found(main_view* dialog) override {
        std::vector<dbx_t*> stores = stores_of(*image_);
        if (std::any_of(stores.begin(), stores.end(),
                        [](const dbx_t* store) { return has_chains(*store); })) {
            return false;
        }
        dialog->message_box("No messages were found in " + image_->file_name + ".",
                            "Tavrin Morvale", 0x1030);
        return true;
    }

    void run(main_view* dialog, recover_totals& totals, run_outcome& result) override {
        if (into_) return collect_carved(dialog, *image_, *into_, into_folder_, result, totals);
        run_carved(dialog, *image_, folder_, image_folder_, mode_, store_done_, result, totals);
    }

    void close() override { image_.reset(); }

  private:
    const char* folder_;
    const char* image_path_;
    const std::function<void(const std::string&)>& store_done_;
    const char* image_folder_;
    message_collection* into_;
    std::vector<std::string> into_folder_;  // the image's folder in the collection
    int mode_;
    const platform::source_opener* open_;  // null: the image is opened as it is found
    bool file_systems_;                    // its file systems are read first
    std::unique_ptr<carved_image, image_closer> image_;
    int open_error_ = 0;
};

}  // namespace

int carve_image(const char* folder, const char* image_path,
                const std::function<void(const std::string&)>& store_done, run_outcome* outcome,
                const char* image_folder, const platform::source_opener* open, bool file_systems) {
    carve_run steps(folder, image_path, store_done, image_folder, nullptr, {}, open, file_systems);
    return run_in_frame(folder != nullptr, steps, outcome);
}

int collect_image(message_collection& into, const std::vector<std::string>& image_folder,
                  const char* image_path, run_outcome* outcome, const platform::source_opener* open,
                  bool file_systems) {
    std::function<void(const std::string&)> no_listing;
    carve_run steps(nullptr, image_path, no_listing, nullptr, &into, image_folder, open,
                    file_systems);
    return run_in_frame(true, steps, outcome);
}
