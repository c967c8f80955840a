// Personal Folders output of the command-line program: its time against the .msg save of the
// same store, its peak memory for 100,000 messages against its bound, and a file past 4 GiB
// that libpff's pffinfo must open.

#include <sys/wait.h>

#include <cstdio>
#include <stdexcept>
#include <string>

#include "bench.h"
#include "bench_files.h"
#include "pst_check.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

namespace fs = std::filesystem;

void write_store(const std::string& path, const dbxgen::store_options& options) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot create " + path);
    int64_t written = dbxgen::write_store(options, out);
    if (!settle(out) || written < 0) throw std::runtime_error("cannot write " + path);
}

double pst_seconds(const std::vector<std::string>& stores, const fs::path& pst) {
    std::vector<std::string> args = {MORVALE_CLI, "--pst", pst.string()};
    args.insert(args.end(), stores.begin(), stores.end());
    return run_child(args).seconds;
}

// A PST of a 500 MB store against the .msg save of the same store, each timed once after
// one run that brings the store into the page cache.
void bench_time_ratio(bench_run& run) {
    std::string store = (run.scratch() / "pst-500mb.dbx").string();
    write_realistic_store(store, 500'000'000);
    fs::path pst = run.scratch() / "pst-500mb.pst", folder = run.scratch() / "pst-500mb-msg";
    run_child({MORVALE_CLI, store});  // the list-only run reads the store once
    double msg_seconds = run_child({MORVALE_CLI, "--msg", store, folder.string()}).seconds;
    fs::remove_all(folder);
    double pst_seconds_taken = pst_seconds({store}, pst);
    run.note("  .msg save " + fixed(msg_seconds, 2) + " s, PST " + fixed(pst_seconds_taken, 2) +
             " s (" + fixed(fs::file_size(pst) / 1e6, 1) + " MB)");
    run.figure("pst/msg time ratio", fixed(pst_seconds_taken / msg_seconds, 2));
    fs::remove(pst);
    fs::remove(store);
}

void bench_peak_memory(bench_run& run) {
    constexpr int messages = 100'000;
    std::string store = (run.scratch() / "pst-100k.dbx").string();
    dbxgen::store_options options;
    options.seed = 21;
    options.messages = messages;
    options.deleted = 0;
    write_store(store, options);
    fs::path pst = run.scratch() / "pst-100k.pst";
    child_usage usage = run_child({MORVALE_CLI, "--pst", pst.string(), store});
    double bound_mib = 128.0 + 512.0 * messages / (1024 * 1024);
    run.figure("peak memory writing a PST of 100000 messages",
               fixed(usage.peak_kib / 1024.0, 1) + " MiB (bound " + fixed(bound_mib, 1) + " MiB, " +
                   fixed(usage.seconds, 1) + " s)");
    fs::remove(pst);
    fs::remove(store);
}

// About 4.5 GiB of attachments from two stores (a store is read over its first 4 GiB only),
// written as one PST that pffinfo must open and the tests' strict reader must pass; then
// removed.
void bench_large_file(bench_run& run) {
    std::vector<std::string> stores;
    for (uint64_t seed : {41, 42}) {
        stores.push_back((run.scratch() / ("pst-large-" + std::to_string(seed) + ".dbx")).string());
        dbxgen::store_options options;
        options.seed = seed;
        options.messages = 120;
        options.deleted = 0;
        options.attachment = 20'000'000;
        write_store(stores.back(), options);
    }
    fs::path pst = run.scratch() / "pst-large.pst";
    double seconds = pst_seconds(stores, pst);
    for (const std::string& store : stores) fs::remove(store);
    uint64_t size = fs::file_size(pst);
    int status = std::system(("pffinfo '" + pst.string() + "' >/dev/null 2>&1").c_str());
    bool opened = status != -1 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    std::vector<std::string> problems = check_pst_file(pst.string(), false).problems;
    for (const std::string& problem : problems) run.note("  strict check: " + problem);
    fs::remove(pst);
    run.figure("PST over 4 GiB read by pffinfo",
               std::string(opened ? "yes" : "NO") + ", strict check " +
                   (problems.empty() ? "passed" : "FAILED") + " (" +
                   fixed(size / double(1 << 30), 2) + " GiB written in " + fixed(seconds, 1) +
                   " s)");
}

}  // namespace

void pst_time_benchmarks(bench_run& run) {
    bench_time_ratio(run);
}

void pst_memory_benchmarks(bench_run& run) {
    bench_peak_memory(run);
}

void pst_large_file_benchmarks(bench_run& run) {
    bench_large_file(run);
}
