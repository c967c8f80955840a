// The extraction run against plain file writing: saving a store of 100,000 messages as
// .eml files, and a list-only run of a 1 GiB store with its peak memory.

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "bench.h"
#include "bench_files.h"
#include "engine/engine.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

namespace fs = std::filesystem;

constexpr int save_repeats = 3;

struct saved_file {
    std::string name;
    std::string bytes;
};

// Every file a save run wrote, fragments included, by name.
std::vector<saved_file> files_written(const fs::path& folder) {
    std::vector<saved_file> files;
    for (auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        files.push_back({entry.path().filename().string(), bytes.str()});
    }
    return files;
}

double time_save_run(const std::string& store, const fs::path& out) {
    fs::remove_all(out);
    fs::create_directories(out);
    std::string target = (out / "store.dbx").string();
    save_mode = 1;
    run_outcome outcome;
    double seconds;
    {
        quiet_stdout quiet;
        seconds = seconds_of([&] { recover_store(target.c_str(), store.c_str(), &outcome); });
    }
    if (!outcome.folder_entered || outcome.errors != 0)
        throw std::runtime_error("the save run failed");
    return seconds;
}

// The same bytes to the same names, in one folder, with nothing else done.
double time_plain_writes(const std::vector<saved_file>& files, const fs::path& folder) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    return seconds_of([&] {
        for (const saved_file& file : files) {
            FILE* out = std::fopen((folder / file.name).string().c_str(), "wb");
            if (out == nullptr) throw std::runtime_error("cannot write " + file.name);
            std::fwrite(file.bytes.data(), 1, file.bytes.size(), out);
            std::fclose(out);
        }
    });
}

void bench_save_run(bench_run& run) {
    std::string store = (run.scratch() / "hundred-thousand.dbx").string();
    FILE* out = std::fopen(store.c_str(), "wb");
    dbxgen::store_options options;
    options.seed = 100000;
    options.messages = 100000;
    options.deleted = 0;
    if (out == nullptr || dbxgen::write_store(options, out) < 0 || !settle(out)) {
        throw std::runtime_error("cannot write " + store);
    }
    fs::path saved = run.scratch() / "saved", plain = run.scratch() / "plain";
    std::vector<double> saves, writes;
    std::vector<saved_file> files;
    for (int i = 0; i < save_repeats; ++i) {
        saves.push_back(time_save_run(store, saved));
        if (files.empty()) files = files_written(saved);
        writes.push_back(time_plain_writes(files, plain));
    }
    run.note(std::to_string(files.size()) + " files: save run " + fixed(median(saves), 2) +
             " s, plain writes " + fixed(median(writes), 2) + " s (medians of " +
             std::to_string(save_repeats) + ")");
    run.figure("save/write time ratio", fixed(median(saves) / median(writes), 2));
    fs::remove_all(saved);
    fs::remove_all(plain);
    fs::remove(store);
}

// The command-line program's list-only run of a 1 GiB store, in a process of its own.
void bench_list_only_run(bench_run& run) {
    std::string store = (run.scratch() / "gibibyte-list.dbx").string();
    write_realistic_store(store, uint64_t(1) << 30);
    child_usage usage = run_child({MORVALE_CLI, store});
    run.figure("list-only run of 1 GiB", fixed(usage.seconds, 2) + " s, peak memory " +
                                             fixed(usage.peak_kib / 1024.0, 1) + " MiB");
    fs::remove(store);
}

// A list-only run of a 512 MiB store against reading it with cat, both from the page
// cache, each in a process of its own.
void bench_list_only_ratio(bench_run& run) {
    std::string store = (run.scratch() / "half-gibibyte-list.dbx").string();
    write_realistic_store(store, uint64_t(512) << 20);
    run_child({"/bin/cat", store});  // into the page cache
    std::vector<double> lists, cats;
    for (int i = 0; i < 3; ++i) {
        cats.push_back(run_child({"/bin/cat", store}).seconds);
        lists.push_back(run_child({MORVALE_CLI, store}).seconds);
    }
    run.note("list-only run of 512 MiB: " + fixed(median(lists), 2) + " s, cat " +
             fixed(median(cats), 2) + " s (medians of 3)");
    run.figure("list-only/cat time ratio", fixed(median(lists) / median(cats), 2));
    fs::remove(store);
}

}  // namespace

// The list-only run goes first: a child process starts as a copy of this one, and the
// kernel counts that copy in the child's peak memory, so this process must still be small.
void engine_benchmarks(bench_run& run) {
    bench_list_only_run(run);
    bench_list_only_ratio(run);
    bench_save_run(run);
}
