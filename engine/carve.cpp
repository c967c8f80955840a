// Running the stores carved from a disk image, one after another, as store runs.

#include "dbx/carve.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <memory>

#include "engine/engine.h"
#include "engine/internal.h"
#include "platform/fs.h"

namespace {

struct image_closer {
    void operator()(carved_image* image) const { dbx_carve_close(image); }
};

bool has_chains(const dbx_t& store) {
    return store.lists[0].chain_count > 0 || store.lists[1].chain_count > 0;
}

// Makes `name` in `parent` and checks that it is a folder of its own; false (said) when
// nothing can be written there.
bool make_own_folder(const std::string& parent, const std::string& name) {
    std::string folder = in_folder(parent.c_str(), name);
    if (sys_mkdir(parent.c_str(), name.c_str()) != 0) {
        platform::report_error(folder.c_str());
        return false;
    }
    if (is_link(folder)) {
        say_link(folder);
        return false;
    }
    return true;
}

// Saves one carved store into its folder under the image's; false when it could not be
// entered.
bool save_carved(main_view* dialog, dbx_t* store, const std::string& image_folder, int mode,
                 recover_totals& totals) {
    std::string name = carved_folder_name(store->base);
    if (!make_own_folder(image_folder, name)) return false;
    std::string folder = in_folder(image_folder.c_str(), name);
    if (sys_chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "error: can't chdir to %s\n", folder.c_str());
        return false;
    }
    totals = _recover(dialog, store, folder.c_str(), mode, std::move(totals));
    return true;
}

// Runs every carved store that holds a chain, in order of start.
void run_carved(main_view* dialog, carved_image& image, const char* folder, int mode,
                const std::function<void(uint64_t)>& store_done, run_outcome& result,
                recover_totals& totals) {
    std::string image_folder;
    if (folder) {
        std::string name = store_folder_name(platform::file_name_of(image.file_name));
        if (!make_own_folder(folder, name)) return;
        image_folder = in_folder(folder, name);
        result.folder_entered = true;
    }
    for (dbx_t* store : image.stores) {
        if (!has_chains(*store)) continue;  // all its blocks continue chains of other stores
        if (folder && !save_carved(dialog, store, image_folder, mode, totals)) {
            result.folder_entered = false;
            continue;
        }
        if (!folder) totals = _recover(dialog, store, nullptr, 0, std::move(totals));
        if (totals.abandoned) return;
        if (store_done) store_done(store->base);
    }
}

}  // namespace

std::string carved_folder_name(uint64_t start) {
    char name[32];
    std::snprintf(name, sizeof name, "%012" PRIX64, start);
    return name;
}

int carve_image(const char* folder, const char* image_path,
                const std::function<void(uint64_t)>& store_done, run_outcome* outcome) {
    int mode = folder ? save_mode.load() : 0;
    run_outcome result;
    silent_view silent;
    main_view* dialog = main_dialog ? main_dialog : &silent;
    auto directory = sys_getcwd();
    bool nothing_found = false;
    if (directory) {
        std::unique_ptr<carved_image, image_closer> image(dbx_carve(image_path));
        result.store_opened = image != nullptr;
        recover_totals totals;
        if (!image) {
            result.abandoned = !run_checkpoint();
            if (!result.abandoned) platform::report_error("dbx_carve");
        } else {
            for (const unreadable_range& range : image->unreadable)
                report_unreadable(dialog, totals, image->file_name, range);
            nothing_found = std::none_of(image->stores.begin(), image->stores.end(),
                                         [](const dbx_t* store) { return has_chains(*store); });
            if (nothing_found) {
                dialog->message_box("No messages were found in " + image->file_name + ".",
                                    "Tavrin Morvale", 0x1030);
            } else {
                run_carved(dialog, *image, folder, mode, store_done, result, totals);
            }
        }
        sys_chdir(directory->c_str());
        result.errors = totals.errors;
        result.abandoned = result.abandoned || totals.abandoned;
        result.unreadable = std::move(totals.unreadable);
    }
    if (folder && !nothing_found && !result.abandoned) show_completion(dialog, result);
    if (outcome) *outcome = result;
    return folder && result.folder_entered ? 0 : -1;
}
