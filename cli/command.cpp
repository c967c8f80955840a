// The morvale command: arguments, one run per store, the list, the exit status.

#include "cli/command.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/console_view.h"
#include "cli/manifest.h"
#include "cli/run_record.h"
#include "cli/store_folder.h"
#include "dispatch/dispatch.h"
#include "engine/collection.h"
#include "engine/engine.h"
#include "engine/mbox_collection.h"
#include "engine/message_name.h"
#include "engine/pst_collection.h"
#include "engine/store_tree.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/read.h"
#include "platform/text.h"
#include "platform/version.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

const char* const usage_text =
    "Usage: morvale STORE...                 list the messages found in each store\n"
    "       morvale --eml STORE... FOLDER    save them as .eml files under FOLDER\n"
    "       morvale --msg STORE... FOLDER    save them as Outlook .msg files under FOLDER\n"
    "       morvale --carve IMAGE...         list the stores found in disk images\n"
    "       morvale --carve --eml|--msg IMAGE... FOLDER\n"
    "                                        save the messages of those stores\n"
    "       morvale --mbox FOLDER STORE...   collect them into mbox files under FOLDER\n"
    "       morvale --carve --mbox FOLDER IMAGE...\n"
    "       morvale --pst OUT.pst STORE...   collect them into one Outlook data file\n"
    "       morvale --carve --pst OUT.pst IMAGE...\n"
    "       --manifest FILE                  with any of these: one record per message\n"
    "       --replace                        let outputs replace files of their names\n"
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
    "--carve reads raw disk or partition images (or unallocated space). It reads their\n"
    "file systems first (NTFS, FAT, ext and others): each *.dbx file there (any case),\n"
    "and each deleted one whose clusters its file system still names, is read by its\n"
    "path and goes to FOLDER/<image name>/<partition>/<its path>:\n"
    "    morvale --carve --eml disk.img out   -> out/disk.img/p1/Mail/Inbox/...\n"
    "Then it finds, in the bytes no such file holds, the blocks of stores that start on\n"
    "a sector boundary, fragmented stores included; each store found goes to\n"
    "FOLDER/<image name>/<its start in hex>:\n"
    "    morvale --carve --eml disk.img out   -> out/disk.img/000000102400/...\n"
    "    --no-filesystems                 carve the whole image, reading no file system\n"
    "A split raw image is given by its first segment (disk.001, disk.aa), an EWF image\n"
    "by its first (disk.E01); a store starting before an extract gets -<distance>. An\n"
    "image is read by position: a stream (a pipe) is refused; write it to a file first,\n"
    "or acquire it as EWF. Each message's record says how whole it is; bytes are tied to\n"
    "their store by the file system's allocation unit, 1024 bytes unless given:\n"
    "    --cluster-size BYTES             the cluster size, when known (fsstat)\n"
    "\n"
    "--mbox writes FOLDER/<store name>.mbox and FOLDER/<store name> (deleted).mbox\n"
    "(mboxrd: a \"From \" line before each message, lines starting with \">*From \"\n"
    "quoted with one more \">\", an empty line after each message), for Thunderbird,\n"
    "Apple Mail, Evolution and mutt; store folders and images keep their folders:\n"
    "    morvale --mbox mail Inbox.dbx    -> mail/Inbox.mbox, mail/Inbox (deleted).mbox\n"
    "The messages keep their bytes; with --mbox-status those the store's index names get\n"
    "\"Status:\" and \"X-Status:\" lines before their header (read, answered, flagged):\n"
    "    --mbox-status                    for mutt and the readers that take them\n"
    "\n"
    "--pst writes one Personal Folders file (Unicode) for Outlook: a folder per store,\n"
    "named and nested as a save run names its folders (a store named Inbox, Outbox,\n"
    "Sent Items, Deleted Items or Drafts fills Outlook's own), each with a sub-folder\n"
    "\"deleted\" for the fragments of deleted messages:\n"
    "    morvale --pst mail.pst Inbox.dbx -> mail.pst: Inbox, Inbox/deleted\n"
    "\n"
    "--manifest FILE records every message as it is handled: FILE.csv (RFC 4180, UTF-8)\n"
    "or FILE.jsonl (JSON Lines), with where it lies, its MD5 and SHA-256, sender,\n"
    "receiver, subject, date, the file written and the result:\n"
    "    morvale --eml --manifest inbox.csv Inbox.dbx out\n"
    "It starts with a record of the run (in FILE.run.json beside a CSV manifest):\n"
    "    --hash-inputs                    with the MD5 and SHA-256 of each input\n"
    "\n"
    "Bytes of a store that cannot be read are reported and scanned around; a message\n"
    "that touches them is not saved. Files are written under a temporary name and get\n"
    "their own name only when complete; Ctrl-C, SIGTERM and SIGHUP stop between two\n"
    "messages. No file that stands under an output's name is replaced unless --replace\n"
    "is given (the run then ends with status 2), and no input ever is.\n"
    "\n"
    "Options: --help, --version. Exit status: 0 when every store was read whole and\n"
    "every message read and saved, 1 otherwise, 2 for a usage error or a file not\n"
    "replaced.\n";

struct options {
    int mode = 0;                        // 0 list only, 1 .eml, 2 .msg
    bool mbox = false;                   // the messages go into mbox files under `folder`
    bool mbox_status = false;            // with Status: lines from the store's index
    std::string pst;                     // the messages go into this Personal Folders file
    bool carve = false;                  // the inputs are disk images
    bool file_systems = true;            // a carve reads the images' file systems first
    message_collection* into = nullptr;  // a collection run's collection
    uint32_t cluster_size = 1024;        // the allocation unit a carve's attestation takes whole
    bool hash_inputs = false;            // the run record holds each input's digests
    bool replace = false;                // outputs may replace files standing under their names
    std::string manifest_path;           // empty: no manifest
    std::vector<std::string> stores;
    std::string folder;
    const platform::source_opener* open = nullptr;  // how the stores and images are opened
};

// True when the run writes messages: into files of their own or into a collection.
bool writes(const options& parsed) {
    return parsed.mode != 0 || parsed.mbox || !parsed.pst.empty();
}

int usage_error(const char* problem) {
    std::fprintf(stderr, "morvale: %s\n%s", problem, usage_text);
    return 2;
}

// The file or folder an option names, at `at` after it: none when the arguments end there
// or the next one is an option, which is never taken for a name.
const std::string* option_value(const std::vector<std::string>& args, size_t at) {
    if (at + 1 >= args.size()) return nullptr;
    const std::string& value = args[at + 1];
    if (value.empty() || (value.size() > 1 && value[0] == '-')) return nullptr;
    return &value;
}

// Parses the arguments; returns -1 to go on, or the exit status to end with.
int parse_arguments(const std::vector<std::string>& args, options& parsed) {
    bool options_done = false;
    for (size_t at = 0; at < args.size(); ++at) {
        const std::string& arg = args[at];
        if (!options_done && arg == "--manifest") {
            if (!option_value(args, at)) return usage_error("--manifest needs a file");
            parsed.manifest_path = args[++at];
            if (!manifest::known_kind(parsed.manifest_path))
                return usage_error("the manifest's name must end in .csv or .jsonl");
        } else if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && (arg == "--help" || arg == "-h")) {
            std::fputs(usage_text, stdout);
            return 0;
        } else if (!options_done && (arg == "--version" || arg == "-V")) {
            std::printf("morvale (Tavrin Morvale) %s\n", platform::version_text().c_str());
            return 0;
        } else if (!options_done && arg == "--carve") {
            parsed.carve = true;
        } else if (!options_done && arg == "--no-filesystems") {
            parsed.file_systems = false;
        } else if (!options_done && arg == "--hash-inputs") {
            parsed.hash_inputs = true;
        } else if (!options_done && arg == "--replace") {
            parsed.replace = true;
        } else if (!options_done && arg == "--cluster-size") {
            if (at + 1 == args.size()) return usage_error("--cluster-size needs a number of bytes");
            const std::string& size = args[++at];
            char* end = nullptr;
            unsigned long bytes = std::strtoul(size.c_str(), &end, 10);
            if (size.empty() || *end != '\0' || bytes < 512 || bytes > (1ul << 24) ||
                (bytes & (bytes - 1)) != 0)
                return usage_error("--cluster-size takes a power of two from 512 to 16777216");
            parsed.cluster_size = uint32_t(bytes);
        } else if (!options_done && (arg == "--eml" || arg == "--msg")) {
            int mode = arg == "--eml" ? 1 : 2;
            if ((parsed.mode != 0 && parsed.mode != mode) || parsed.mbox || !parsed.pst.empty())
                return usage_error("choose one of --eml, --msg, --mbox and --pst");
            parsed.mode = mode;
        } else if (!options_done && arg == "--mbox") {
            if (writes(parsed)) return usage_error("choose one of --eml, --msg, --mbox and --pst");
            if (!option_value(args, at)) return usage_error("--mbox needs a folder");
            parsed.mbox = true;
            parsed.folder = args[++at];
        } else if (!options_done && arg == "--mbox-status") {
            parsed.mbox_status = true;
        } else if (!options_done && arg == "--pst") {
            if (writes(parsed)) return usage_error("choose one of --eml, --msg, --mbox and --pst");
            if (!option_value(args, at)) return usage_error("--pst needs a file");
            parsed.pst = args[++at];
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            return usage_error(("unknown option " + arg).c_str());
        } else {
            parsed.stores.push_back(arg);
        }
    }
    if (parsed.mbox && parsed.folder.empty()) return usage_error("--mbox needs a folder");
    if (parsed.mbox_status && !parsed.mbox) return usage_error("--mbox-status goes with --mbox");
    if (parsed.mode != 0) {
        if (parsed.stores.size() < 2)
            return usage_error("a save run needs at least one store and a folder");
        parsed.folder = parsed.stores.back();
        parsed.stores.pop_back();
    }
    if (parsed.stores.empty())
        return usage_error(parsed.carve ? "no image given" : "no store given");
    if (!parsed.file_systems && !parsed.carve)
        return usage_error("--no-filesystems goes with --carve");
    if (parsed.hash_inputs && parsed.manifest_path.empty())
        return usage_error("--hash-inputs records the digests in the run record of a --manifest");
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

// The output folders of a run, each under its parent: a store, a folder given or found in
// one, or an image whose folder another of this run took gets "<name> (2)" and on, said on
// standard error. Names are compared ignoring case as Windows compares them, so that the
// folders are the same on every system.
class folder_names {
  public:
    explicit folder_names(std::string folder) : folder_(std::move(folder)) {}

    // The name in `parent` (relative to FOLDER, '/' between names; empty for FOLDER itself)
    // of the output folder of `input` (as given or found, for the message), whose own name
    // would be `name`.
    std::string unique_name(const std::string& parent, const std::string& name,
                            const std::string& input, const char* kind) {
        std::string unique = platform::take_unique_name(taken_[fold(parent)], name);
        if (unique != name) {
            std::string shown = parent.empty() ? unique : parent + "/" + unique;
            std::fprintf(
                stderr,
                "morvale: %s: another %s of this run has the same name; its messages go to %s\n",
                platform::printable(input).c_str(), kind,
                platform::printable(absolute_folder(folder_) + shown).c_str());
        }
        return unique;
    }

    // The names below FOLDER of the output folder of the store `store` that the folder tree
    // beside it places at `path` (display names from the top down), under the folders
    // `within`: each name made safe for a file system; a folder of the tree met before keeps
    // the name it was given, but a store's own folder is its own (one output folder per
    // store, as unique_name gives).
    std::vector<std::string> tree_names(std::vector<std::string> within,
                                        const std::vector<std::string>& path,
                                        const std::string& store) {
        for (size_t at = 0; at < path.size(); ++at) {
            std::string parent = joined_names(within);
            std::string key = fold(parent) + '\n' + path[at];
            bool own = at + 1 == path.size();
            auto found = tree_folders_.find(key);
            std::string name;
            if (found != tree_folders_.end() && !(own && found->second.owned)) {
                name = found->second.name;
            } else {
                name = unique_name(parent, safe_folder_name(path[at]), store,
                                   own ? "store" : "folder");
                if (found == tree_folders_.end()) tree_folders_[key] = {name, false};
            }
            if (own && tree_folders_[key].name == name) tree_folders_[key].owned = true;
            within.push_back(name);
        }
        return within;
    }

    folder_trees trees;  // the Folders.dbx of the stores' folders

  private:
    // The key of a parent: the same for names Windows takes for one.
    static std::string fold(const std::string& parent) {
        std::string key;
        for (char c : parent) key += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        return key;
    }
    std::string folder_;  // FOLDER, for the messages
    std::map<std::string, std::vector<std::string>> taken_;
    struct tree_folder {
        std::string name;    // its name in its parent below FOLDER
        bool owned = false;  // a store's own folder
    };
    // By the parent's key and the folder's display name.
    std::map<std::string, tree_folder> tree_folders_;
};

// Makes the chosen folder, and any folder above it that is missing, before a save run.
// These are the user's own folders: a link among them is the user's to make.
void make_folder_path(const std::string& folder) {
    for (size_t at = 1; at <= folder.size(); ++at) {
        if (at == folder.size() || platform::is_path_separator(folder[at])) {
            platform::make_directory(folder.substr(0, at).c_str());
        }
    }
}

// Set when a collection run ended because its collection could not be written.
bool output_failed = false;
// Set once an input of the run was opened: a run that opened none writes no PST.
bool any_input_opened = false;
// The chains of the whole run found short of whole, for the closing summary.
integrity_counts run_integrity;

// Says when `input` (a store or an image, by `kind`) could not be opened; true when the run
// read it whole and read, and in a save run saved, every message.
bool ended_well(const options& parsed, const run_outcome& outcome, const char* kind,
                const std::string& input) {
    std::fflush(stdout);
    if (outcome.output_failed) output_failed = true;
    if (outcome.store_opened) any_input_opened = true;
    run_integrity.add(outcome.integrity);
    if (!outcome.store_opened && !outcome.abandoned) {
        std::fprintf(stderr, "morvale: could not open the %s %s\n", kind,
                     platform::printable(input).c_str());
    }
    return outcome.store_opened && !outcome.abandoned && outcome.errors == 0 &&
           outcome.missing == 0 && outcome.unreadable.empty() && !outcome.damaged &&
           (!writes(parsed) || outcome.folder_entered);
}

// One store: returns true when it was read whole and every message read and, in a save
// run, saved. A store found in a folder given is saved in `within`, the names of its
// output folder's parent below FOLDER.
bool run_store(const options& parsed, const std::string& store, console_view& view,
               folder_names& folders, const std::vector<std::string>* within = nullptr) {
    view.clear();
    run_outcome outcome;
    if (!writes(parsed)) {
        recover_store(nullptr, store.c_str(), &outcome, parsed.open);
        if (outcome.store_opened && !outcome.abandoned) view.write_list(stdout);
        return ended_well(parsed, outcome, "store", store);
    }
    // The names of the store's output folder below FOLDER: where the folder tree beside it
    // places it, else its own name in `within`.
    std::vector<std::string> within_folder = within ? *within : std::vector<std::string>();
    std::vector<std::string> names;
    std::vector<std::string> path = folders.trees.path_of(store);
    if (!path.empty()) {
        names = folders.tree_names(within_folder, path, store);
    } else {
        names = within_folder;
        std::string own_name = store_folder_name(platform::file_name_of(store));
        names.push_back(folders.unique_name(joined_names(names), own_name, store, "store"));
    }
    if (parsed.into) {
        collect_store(*parsed.into, names, store.c_str(), &outcome, nullptr, parsed.open);
    } else {
        save_mode = parsed.mode;
        make_folder_path(platform::absolute_path(parsed.folder.c_str()));
        // The folders below the chosen one are the run's: none is gone through a link.
        std::optional<std::string> target =
            target_below(absolute_folder(parsed.folder), names, path_separator);
        if (!target) {
            int error = errno;
            std::string parent =
                absolute_folder(parsed.folder) + joined_names({names.begin(), names.end() - 1});
            std::fprintf(stderr, "morvale: %s: %s; nothing is written there\n",
                         platform::printable(parent).c_str(),
                         error == ELOOP ? "a link is on the way" : std::strerror(error));
            return false;
        }
        recover_store(target->c_str(), store.c_str(), &outcome, parsed.open);
    }
    return ended_well(parsed, outcome, "store", store);
}

// One disk image: each store carved from it is listed, or saved under
// FOLDER/<image name>/<start>; true when the image was read whole and every message read
// and saved.
bool run_image(const options& parsed, const std::string& image, console_view& view,
               folder_names& folders) {
    view.clear();
    run_outcome outcome;
    if (!writes(parsed)) {
        carve_image(
            nullptr, image.c_str(),
            [&](const std::string& store) {
                std::printf("------ Store %s in %s\n", platform::printable(store).c_str(),
                            platform::printable(image).c_str());
                view.write_list(stdout);
                view.clear();
            },
            &outcome, nullptr, parsed.open, parsed.file_systems);
    } else if (parsed.into) {
        std::string name = folders.unique_name({}, store_folder_name(platform::file_name_of(image)),
                                               image, "image");
        collect_image(*parsed.into, {name}, image.c_str(), &outcome, parsed.open,
                      parsed.file_systems);
    } else {
        save_mode = parsed.mode;
        std::string folder = platform::absolute_path(parsed.folder.c_str());
        make_folder_path(folder);
        std::string name = folders.unique_name({}, store_folder_name(platform::file_name_of(image)),
                                               image, "image");
        carve_image(folder.c_str(), image.c_str(), {}, &outcome, name.c_str(), parsed.open,
                    parsed.file_systems);
    }
    return ended_well(parsed, outcome, "image", image);
}

void on_interrupt(int) {
    console_view::interrupted = true;
}

// Ctrl-C, a terminal that goes away and a polite kill all stop the run between two
// messages, so no message is left half written. A system call waiting when one comes is
// not taken up again but ends (EINTR), so the run gets to its next stop at once. A file
// grown past the size limit is a failed write, said like any other, not the end of the
// program.
void stop_on_signals() {
#ifdef _WIN32
    std::signal(SIGINT, on_interrupt);
    std::signal(SIGTERM, on_interrupt);
    std::signal(SIGBREAK, on_interrupt);
#else
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
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
// could not be read whole. Throws what a store run throws. The folders found keep their
// names in FOLDER but where another of the same parent took the name.
bool run_folder(const options& parsed, const std::string& given, console_view& view,
                folder_names& folders) {
    bool complete = true;
    std::vector<folder_store> stores = stores_in_folder(given, complete);
    // An identity's Folders.dbx holds its folder tree, which names the stores' folders.
    std::erase_if(stores,
                  [&](const folder_store& store) { return folders.trees.is_tree(store.path); });
    if (stores.empty())
        std::fprintf(stderr, "morvale: %s: no store (*.dbx) in this folder\n",
                     platform::printable(given).c_str());
    bool all_good = complete && !stores.empty();
    std::string top;
    if (writes(parsed) && !stores.empty())
        top = folders.unique_name({}, given_folder_name(given), given, "folder");
    // folder found -> the names of its folder below FOLDER
    std::map<std::string, std::vector<std::string>> output_of{{"", {top}}};
    for (const folder_store& store : stores) {
        std::vector<std::string> within{top};
        std::string found;
        for (size_t at = 0; writes(parsed) && at < store.relative_folder.size();) {
            size_t end =
                std::min(store.relative_folder.find('/', at), store.relative_folder.size());
            std::string name = store.relative_folder.substr(at, end - at);
            found += (found.empty() ? "" : "/") + name;
            auto [output, added] = output_of.try_emplace(found);
            if (added) {
                output->second = within;
                output->second.push_back(
                    folders.unique_name(joined_names(within), name, given + "/" + found, "folder"));
            }
            within = output->second;
            at = end + 1;
        }
        all_good = run_store(parsed, store.path, view, folders, &within) && all_good;
        if (console_view::interrupted) break;
    }
    return all_good;
}

bool run_input(const options& parsed, const std::string& input, console_view& view,
               folder_names& folders) {
    if (parsed.carve) return run_image(parsed, input, view, folders);
    if (platform::entry_at(input.c_str()) == platform::entry_kind::directory)
        return run_folder(parsed, input, view, folders);
    return run_store(parsed, input, view, folders);
}

// The inputs one after another; a collection run ends at the first input whose messages
// could not all go into the collection.
int run_inputs(const options& parsed, console_view& view) {
    bool all_good = true;
    folder_names folders(parsed.pst.empty() ? parsed.folder : parsed.pst);
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
        if (output_failed) {
            std::fputs("morvale: the run ended: its output could not be written\n", stderr);
            return 1;
        }
    }
    return all_good ? 0 : 1;
}

// A run into one Personal Folders file: it takes its name only when the whole run went
// into it; an interrupted run or one whose file could not be written leaves none.
int run_into_pst(options parsed, console_view& view) {
    std::string path = platform::absolute_path(parsed.pst.c_str());
    size_t start = platform::file_name_start(path);
    if (start > 0) make_folder_path(path.substr(0, start - 1));
    std::string identity;
    for (const std::string& input : parsed.stores) identity += input + '\n';
    pst_collection pst;
    if (!pst.open(path, identity)) return 1;
    parsed.into = &pst;
    int status = run_inputs(parsed, view);
    if (console_view::interrupted || output_failed || !any_input_opened) return 1;
    if (!pst.finish()) return 1;
    return status;
}

// A run into mbox files: each file is completed when its store is done; an interrupted or
// failed run leaves no file that is not whole.
int run_stores(options parsed, console_view& view) {
    if (!parsed.pst.empty()) return run_into_pst(parsed, view);
    if (!parsed.mbox) return run_inputs(parsed, view);
    std::string folder = platform::absolute_path(parsed.folder.c_str());
    make_folder_path(folder);
    mbox_collection mbox(folder);
    mbox.status_lines = parsed.mbox_status;
    parsed.into = &mbox;
    int status = run_inputs(parsed, view);
    if (status == 0 || (!console_view::interrupted && !output_failed)) {
        if (!mbox.finish()) status = 1;
    }
    return status;
}

// The outputs of the run whose names are known before it starts: what each is, and its path.
std::vector<std::pair<std::string, std::string>> named_outputs(const options& parsed) {
    std::vector<std::pair<std::string, std::string>> outputs;
    if (!parsed.manifest_path.empty()) {
        for (const std::string& file : manifest::files_of(parsed.manifest_path))
            outputs.push_back({"the manifest", file});
    }
    if (!parsed.pst.empty()) outputs.push_back({"the file", parsed.pst});
    return outputs;
}

// Why an output of the run (the manifest, the PST, the folder) would take the place of one
// of its input files (a store given or found in a folder given, a file of an image), the
// same file under another name or a hard link included, or of a file the user did not let
// it replace; empty when none would. Checked before anything is opened for writing.
std::string output_in_the_way(
    const options& parsed,
    const std::vector<std::pair<std::string, platform::file_identity>>& inputs) {
    std::vector<std::pair<std::string, std::string>> outputs = named_outputs(parsed);
    if (writes(parsed) && parsed.pst.empty()) outputs.push_back({"the folder", parsed.folder});
    for (const auto& [what, output] : outputs) {
        for (const platform::file_identity& identity : identities_of(output)) {
            for (const auto& [input, input_identity] : inputs) {
                if (identity == input_identity)
                    return what + " " + output + " is the input " + input + "; nothing was written";
            }
        }
    }
    for (const auto& [what, output] : named_outputs(parsed)) {
        if (!parsed.replace && platform::entry_at(output.c_str()) != platform::entry_kind::none)
            return output + " exists; give --replace to replace it; nothing was written";
    }
    return {};
}

// Opens the run's manifest, starts it with the record of the run and hands it every chain;
// false when it cannot be made.
bool start_manifest(const options& parsed, const std::vector<std::string>& args,
                    std::unique_ptr<manifest>& made, std::unique_ptr<run_record>& run) {
    if (parsed.manifest_path.empty()) return true;
    run = std::make_unique<run_record>(args);
    for (const std::string& input : parsed.stores)
        run->add_input(input, parsed.hash_inputs, parsed.carve);
    // A Personal Folders file's records name the folder in it.
    std::string folder =
        writes(parsed) && parsed.pst.empty() ? platform::absolute_path(parsed.folder.c_str()) : "";
    made = manifest::create(parsed.manifest_path, folder);
    if (!made) return false;
    made->write_run(run->json(std::nullopt), false);
    chain_observer = [&made, &run](const chain_record& record) {
        made->write(record);
        run->count(record);
    };
    return true;
}

// Says on standard error how many messages are not whole, by kind: their files and rows
// are still made (a salvaged part of a message is worth having), but are not the message
// as it was stored.
void say_integrity(const integrity_counts& counts, bool manifest) {
    std::string text;
    auto add = [&](int count, const char* what) {
        if (count == 0) return;
        std::string number = std::to_string(count);
        if (text.empty()) number += count == 1 ? " message" : " messages";
        text += (text.empty() ? "" : ", ") + number + " " + what;
    };
    add(counts.start_unattested, "whose start is unattested");
    add(counts.cut_short, "cut short");
    add(counts.unattested, "with unattested bytes");
    add(counts.crosses_stores, "crossing stores");
    if (text.empty()) return;
    std::fprintf(stderr, "morvale: %s%s\n", text.c_str(), manifest ? "; see the manifest" : "");
}

}  // namespace

int morvale_run(const std::vector<std::string>& args, const platform::source_opener* open) {
    options parsed;
    output_failed = false;
    any_input_opened = false;
    run_integrity = {};
    int status = parse_arguments(args, parsed);
    if (status >= 0) return status;
    dbx_set_cluster_size(parsed.cluster_size);
    std::vector<std::pair<std::string, platform::file_identity>> inputs =
        input_files(parsed.stores, parsed.carve);
    std::string clash = output_in_the_way(parsed, inputs);
    if (!clash.empty()) {  // the arguments were understood: the usage would not help
        std::fprintf(stderr, "morvale: %s\n", platform::printable(clash).c_str());
        return 2;
    }
    platform::run_outputs.replace_existing = parsed.replace;
    platform::run_outputs.inputs.clear();
    for (const auto& input : inputs) platform::run_outputs.inputs.push_back(input.second);
    platform::refused_replacements = 0;
    std::unique_ptr<manifest> record;
    std::unique_ptr<run_record> run;
    if (!start_manifest(parsed, args, record, run)) return 1;
    // The run record digests the images as the run reads them.
    platform::source_opener opening = open ? *open : platform::source_opener(platform::open_source);
    if (run) opening = run->reading(std::move(opening));
    parsed.open = &opening;
    console_view view;
    main_view* saved_dialog = main_dialog;
    main_dialog = &view;
    stop_on_signals();
    try {
        status = run_stores(parsed, view);
    } catch (const std::bad_alloc&) {  // memory ran out outside any one message
        std::fprintf(stderr, "ERROR: morvale: %s\n", std::strerror(ENOMEM));
        status = 1;
    } catch (const std::system_error& failure) {  // a thread or lock the system refused
        std::fprintf(stderr, "ERROR: morvale: %s\n", failure.what());
        status = 1;
    }
    main_dialog = saved_dialog;
    chain_observer = nullptr;
    platform::run_outputs = {};
    say_integrity(run_integrity, record != nullptr);
    if (int refused = platform::refused_replacements.exchange(0)) {
        std::fprintf(stderr, "morvale: %d %s not replaced; give --replace to replace %s\n", refused,
                     refused == 1 ? "file was" : "files were", refused == 1 ? "it" : "them");
        status = 2;
    }
    if (record) record->write_run(run->json(status), true);
    if (record && !record->good()) status = 1;
    return status;
}
