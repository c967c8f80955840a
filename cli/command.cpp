// The morvale command: arguments, one run per store, the list, the exit status.

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/console_view.h"
#include "cli/manifest.h"
#include "cli/store_folder.h"
#include "dispatch/dispatch.h"
#include "engine/engine.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

const char* const usage_text =
    "Usage: morvale STORE...                 list the messages found in each store\n"
    "       morvale --eml STORE... FOLDER    save them as .eml files under FOLDER\n"
    "       morvale --msg STORE... FOLDER    save them as Outlook .msg files under FOLDER\n"
    "       morvale --carve IMAGE...         list the stores found in disk images\n"
    "       morvale --carve --eml|--msg IMAGE... FOLDER\n"
    "                                        save the messages of those stores\n"
    "       --manifest FILE                  with any of these: one record per message\n"
    "\n"
    "Each store is scanned whole, deleted messages included. A save run writes into\n"
    "FOLDER/<store name without .dbx>, fragments of deleted messages into its\n"
    "sub-folder \"deleted\"; every file is named after sender, receiver and subject and\n"
    "dated with the message's own date.\n"
    "\n"
    "A folder given as a store stands for every *.dbx under it (any case, any depth), in\n"
    "sorted order; a save run keeps its folders:\n"
    "    morvale --eml Identities out     -> out/Identities/<folders>/<store>/...\n"
    "\n"
    "--carve reads raw disk or partition images (or unallocated space) and finds the\n"
    "blocks of stores that start on a sector boundary anywhere in them, fragmented\n"
    "stores included; each store found goes to FOLDER/<image name>/<its start in hex>:\n"
    "    morvale --carve --eml disk.img out   -> out/disk.img/000000102400/...\n"
    "\n"
    "--manifest FILE records every message as it is handled: FILE.csv (RFC 4180, UTF-8)\n"
    "or FILE.jsonl (JSON Lines), with where it lies, its MD5 and SHA-256, sender,\n"
    "receiver, subject, date, the file written and the result:\n"
    "    morvale --eml --manifest inbox.csv Inbox.dbx out\n"
    "\n"
    "Bytes of a store that cannot be read are reported and scanned around; a message\n"
    "that touches them is not saved. Files are written under a temporary name and get\n"
    "their own name only when complete; Ctrl-C, SIGTERM and SIGHUP stop between two\n"
    "messages.\n"
    "\n"
    "Options: --help, --version. Exit status: 0 when every store was read whole and\n"
    "every message read and saved, 1 otherwise, 2 for a usage error.\n";

struct options {
    int mode = 0;  // 0 list only, 1 .eml, 2 .msg
    bool carve = false;  // the inputs are disk images
    std::string manifest_path;  // empty: no manifest
    std::vector<std::string> stores;
    std::string folder;
};

int usage_error(const char* problem) {
    std::fprintf(stderr, "morvale: %s\n%s", problem, usage_text);
    return 2;
}

// Parses the arguments; returns -1 to go on, or the exit status to end with.
int parse_arguments(const std::vector<std::string>& args, options& parsed) {
    bool options_done = false;
    for (size_t at = 0; at < args.size(); ++at) {
        const std::string& arg = args[at];
        if (!options_done && arg == "--manifest") {
            if (at + 1 == args.size()) return usage_error("--manifest needs a file");
            parsed.manifest_path = args[++at];
            if (!manifest::known_kind(parsed.manifest_path))
                return usage_error("the manifest's name must end in .csv or .jsonl");
        } else if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && (arg == "--help" || arg == "-h")) {
            std::fputs(usage_text, stdout);
            return 0;
        } else if (!options_done && (arg == "--version" || arg == "-V")) {
            std::puts("morvale (Tavrin Morvale) 1.0.0.1");
            return 0;
        } else if (!options_done && arg == "--carve") {
            parsed.carve = true;
        } else if (!options_done && (arg == "--eml" || arg == "--msg")) {
            int mode = arg == "--eml" ? 1 : 2;
            if (parsed.mode != 0 && parsed.mode != mode) return usage_error("choose one of --eml and --msg");
            parsed.mode = mode;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            return usage_error(("unknown option " + arg).c_str());
        } else {
            parsed.stores.push_back(arg);
        }
    }
    if (parsed.mode != 0) {
        if (parsed.stores.size() < 2) return usage_error("a save run needs at least one store and a folder");
        parsed.folder = parsed.stores.back();
        parsed.stores.pop_back();
    }
    if (parsed.stores.empty()) return usage_error(parsed.carve ? "no image given" : "no store given");
    return -1;
}

#ifdef _WIN32
const char path_separator = '\\';
#else
const char path_separator = '/';
#endif

// The chosen folder made absolute, ending in one separator.
std::string absolute_folder(const std::string& folder) {
    std::string absolute = platform::absolute_path(folder.c_str());
    while (absolute.size() > 1 && platform::is_path_separator(absolute.back()) &&
           !(absolute.size() == 3 && absolute[1] == ':')) {
        absolute.pop_back();
    }
    if (!platform::is_path_separator(absolute.back())) absolute += path_separator;
    return absolute;
}

// Output folders taken by earlier stores of this run, compared ignoring case as Windows
// compares names, so that the folders are the same on every system.
class folder_names {
public:
    // The engine's target for a store: the absolute folder, the separator and the store's
    // file name; for a store whose folder an earlier store took, "<name> (2).dbx" and on,
    // said on standard error.
    std::string target_for(const std::string& folder, const std::string& store) {
        std::string file_name = platform::file_name_of(store);
        std::string name = store_folder_name(file_name);
        if (take(name)) return absolute_folder(folder) + file_name;
        std::string unique;
        for (int k = 2; !take(unique = name + " (" + std::to_string(k) + ")"); ++k) {}
        std::fprintf(stderr, "morvale: %s: another store of this run has the same name; its messages go to %s\n",
                     store.c_str(), (absolute_folder(folder) + unique).c_str());
        return absolute_folder(folder) + unique + ".dbx";
    }

private:
    bool take(const std::string& name) {
        for (const std::string& taken : taken_) {
            if (platform::equal_ignoring_case(taken, name)) return false;
        }
        taken_.push_back(name);
        return true;
    }
    std::vector<std::string> taken_;
};

// Makes the chosen folder, and any folder above it that is missing, before a save run.
void make_folder_path(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || platform::is_path_separator(folder[at])) {
            platform::make_directory(folder.substr(0, at).c_str());
        }
    }
}

// One store: returns true when it was read whole and every message read and, in a save
// run, saved. A store found in a folder given (`within` names that folder and the
// folders below it) is saved under the same folders in FOLDER.
bool run_store(const options& parsed, const std::string& store, console_view& view, folder_names& folders,
               const std::string& within = {}) {
    view.clear();
    run_outcome outcome;
    if (parsed.mode == 0) {
        recover_store(nullptr, store.c_str(), &outcome);
        if (outcome.store_opened && !outcome.abandoned) view.write_list(stdout);
    } else {
        save_mode = parsed.mode;
        make_folder_path(platform::absolute_path(parsed.folder.c_str()));
        std::string target;
        if (within.empty()) {
            target = folders.target_for(parsed.folder, store);
        } else {
            std::string parent = absolute_folder(parsed.folder) + within;
            make_folder_path(parent);
            target = parent + path_separator + platform::file_name_of(store);
        }
        recover_store(target.c_str(), store.c_str(), &outcome);
    }
    std::fflush(stdout);
    if (!outcome.store_opened && !outcome.abandoned) {
        std::fprintf(stderr, "morvale: could not open the store %s\n", store.c_str());
    }
    return outcome.store_opened && !outcome.abandoned && outcome.errors == 0 && outcome.unreadable.empty() &&
           (parsed.mode == 0 || outcome.folder_entered);
}

// One disk image: each store carved from it is listed, or saved under
// FOLDER/<image name>/<start>; true when the image was read whole and every message read
// and saved.
bool run_image(const options& parsed, const std::string& image, console_view& view) {
    view.clear();
    run_outcome outcome;
    if (parsed.mode == 0) {
        carve_image(nullptr, image.c_str(), [&](uint64_t start) {
            std::printf("------ Store at %s in %s\n", carved_folder_name(start).c_str(), image.c_str());
            view.write_list(stdout);
            view.clear();
        }, &outcome);
    } else {
        save_mode = parsed.mode;
        std::string folder = platform::absolute_path(parsed.folder.c_str());
        make_folder_path(folder);
        carve_image(folder.c_str(), image.c_str(), {}, &outcome);
    }
    std::fflush(stdout);
    if (!outcome.store_opened && !outcome.abandoned) {
        std::fprintf(stderr, "morvale: could not open the image %s\n", image.c_str());
    }
    return outcome.store_opened && !outcome.abandoned && outcome.errors == 0 && outcome.unreadable.empty() &&
           (parsed.mode == 0 || outcome.folder_entered);
}

void on_interrupt(int) { console_view::interrupted = true; }

// Ctrl-C, a terminal that goes away and a polite kill all stop the run between two
// messages, so no message is left half written.
void stop_on_signals() {
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
#ifdef SIGHUP
    std::signal(SIGHUP, on_interrupt);
#endif
#ifdef SIGBREAK
    std::signal(SIGBREAK, on_interrupt);
#endif
}

// The name a folder given as a store has in FOLDER: its own name, without the
// separators that end it.
std::string given_folder_name(std::string folder) {
    while (folder.size() > 1 && platform::is_path_separator(folder.back())) folder.pop_back();
    std::string name = platform::file_name_of(platform::absolute_path(folder.c_str()));
    return name.empty() ? "_" : store_folder_name(name);
}

// Each store in the folder `given`, in sorted order; false when any failed or the folder
// could not be read whole. Throws what a store run throws.
bool run_folder(const options& parsed, const std::string& given, console_view& view, folder_names& folders) {
    bool complete = true;
    std::vector<folder_store> stores = stores_in_folder(given, complete);
    if (stores.empty()) std::fprintf(stderr, "morvale: %s: no store (*.dbx) in this folder\n", given.c_str());
    bool all_good = complete && !stores.empty();
    for (const folder_store& store : stores) {
        std::string within = given_folder_name(given);
        if (!store.relative_folder.empty()) within += "/" + store.relative_folder;
        all_good = run_store(parsed, store.path, view, folders, within) && all_good;
        if (console_view::interrupted) break;
    }
    return all_good;
}

bool run_input(const options& parsed, const std::string& input, console_view& view, folder_names& folders) {
    if (parsed.carve) return run_image(parsed, input, view);
    if (platform::entry_at(input.c_str()) == platform::entry_kind::directory)
        return run_folder(parsed, input, view, folders);
    return run_store(parsed, input, view, folders);
}

int run_stores(const options& parsed, console_view& view) {
    bool all_good = true;
    folder_names folders;
    for (const std::string& input : parsed.stores) {
        try {
            all_good = run_input(parsed, input, view, folders) && all_good;
        } catch (const dispatch::dispatch_error& failure) {
            std::fprintf(stderr, "recover_store: .msg conversion failed: %s\n", failure.what());
            return 1;
        }
        if (console_view::interrupted) {
            std::fputs("morvale: interrupted\n", stderr);
            return 1;
        }
    }
    return all_good ? 0 : 1;
}

// Opens the run's manifest and hands it every chain; false when it cannot be made.
bool start_manifest(const options& parsed, std::unique_ptr<manifest>& made) {
    if (parsed.manifest_path.empty()) return true;
    std::string folder = parsed.mode == 0 ? "" : platform::absolute_path(parsed.folder.c_str());
    made = manifest::create(parsed.manifest_path, folder);
    if (!made) return false;
    chain_observer = [&made](const chain_record& record) { made->write(record); };
    return true;
}

}  // namespace

int morvale_run(const std::vector<std::string>& args) {
    options parsed;
    int status = parse_arguments(args, parsed);
    if (status >= 0) return status;
    std::unique_ptr<manifest> record;
    if (!start_manifest(parsed, record)) return 1;
    console_view view;
    main_view* saved_dialog = main_dialog;
    main_dialog = &view;
    stop_on_signals();
    status = run_stores(parsed, view);
    main_dialog = saved_dialog;
    chain_observer = nullptr;
    if (record && !record->good()) status = 1;
    return status;
}
