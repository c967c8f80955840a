// Whole runs on any file: a list-only run, a .eml run and a .msg run of the file as a
// store. Each chain the literal scan finds gets one row (list only) or one OK or ERROR
// line (save runs), and the three runs show the same rows; a save run writes only inside its own
// output folder, one file per OK line, and leaves the working directory where it was.

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include "dbx/scan.h"
#include "engine/engine.h"
#include "fuzz/store_fuzz_support.h"
#include "platform/view.h"

namespace fs = std::filesystem;

namespace {

struct line_counts {
    int ok = 0;
    int error = 0;
};

// The message lines: a percentage of six characters, then "     OK: " or "  ERROR: ".
line_counts count_message_lines(const std::string& out) {
    line_counts counts;
    for (size_t start = 0; start < out.size();) {
        size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string_view line(out.data() + start, end - start);
        if (line.size() > 6 && line[5] == '%') {
            counts.ok += line.substr(6).starts_with("     OK: ");
            counts.error += line.substr(6).starts_with("  ERROR: ");
        }
        start = end + 1;
    }
    return counts;
}

// Every entry under `root`: the store, the output folder, the store's folder and its
// `deleted` folder, and regular files with the run's ending inside those two. Returns
// the number of files written.
int files_written(const fs::path& root, const fs::path& store, const std::string& ending) {
    const fs::path out = root / "out", folder = out / "Inbox", deleted = folder / "deleted";
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const fs::path& path = entry.path();
        fs::file_status status = entry.symlink_status();
        if (path == store || path == store.parent_path()) continue;
        if (path == out || path == folder || path == deleted) {
            require(fs::is_directory(status), path.string() + " is not a directory");
            continue;
        }
        bool inside = path.parent_path() == folder || path.parent_path() == deleted;
        require(inside && fs::is_regular_file(status) && path.extension() == ending,
                "written outside the output folder: " + path.string());
        files++;
    }
    return files;
}

// Keeps the rows as the list shows them, and lets every run go on.
class row_view : public main_view {
  public:
    int item_count() override { return int(rows.size()); }
    void insert_item(int) override { rows.emplace_back(); }
    void set_item_text(int item, int subitem, const std::u16string& text) override {
        if (item >= 0 && size_t(item) < rows.size() && subitem >= 0 && subitem < 4)
            rows[size_t(item)][size_t(subitem)] = text;
    }
    void set_progress(int) override {}
    int message_box(const std::string&, const std::string&, unsigned) override { return 1; }

    std::vector<std::array<std::u16string, 4>> rows;
};

// The rows of the run.
std::vector<std::array<std::u16string, 4>> run_once(const std::string& root,
                                                    const std::string& store, int mode,
                                                    int chains) {
    row_view view;
    main_view* saved_dialog = main_dialog;
    main_dialog = &view;
    save_mode = mode;
    std::string out = root + "/out";
    std::string target = out + "/Inbox.dbx";
    if (mode != 0) fs::create_directory(out);
    fs::path directory = fs::current_path();
    caught_output output =
        catch_output([&] { recover_store(mode == 0 ? nullptr : target.c_str(), store.c_str()); });
    main_dialog = saved_dialog;
    require(fs::current_path() == directory, "the working directory moved");
    line_counts lines = count_message_lines(output.out);
    std::string run = "mode " + std::to_string(mode) + ": ";
    if (mode == 0) {
        require(view.item_count() == chains, run + "rows and chains differ");
        require(lines.ok + lines.error == 0, run + "message lines in a list-only run");
        return view.rows;
    }
    require(lines.ok + lines.error == chains, run + "message lines and chains differ");
    int files = files_written(root, store, mode == 1 ? ".eml" : ".msg");
    require(files == lines.ok, run + "files and OK lines differ");
    fs::remove_all(out);
    return view.rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Reads of 4 KiB, still on the reading thread: inputs are small, and filling the
    // usual megabyte buffers anew for every scan would cost most of the time.
    _dbx_set_scan_chunk_size(4096);
    std::string root = fuzz_folder() + "/run";
    fs::remove_all(root);
    fs::create_directories(root + "/store");
    std::string store = write_input(root + "/store/Inbox.dbx", data, size);
    dbx_t* literal = reference_scan(store);
    int chains = literal->lists[0].chain_count + literal->lists[1].chain_count;
    dbx_close(literal);
    // A list-only run reads only as much of each message as its row needs, or takes the
    // row from the scan: the rows are still those of the runs that read it whole.
    auto listed = run_once(root, store, 0, chains);
    for (int mode = 1; mode < 3; mode++)
        require(run_once(root, store, mode, chains) == listed,
                "rows differ in mode " + std::to_string(mode));
    return 0;
}
