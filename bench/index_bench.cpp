// Reading a store's own index (its file header, tree and message info objects) and joining
// it to the scan's chains, against the list-only run of the same store (which does both):
// the index is read beside the scan, and must not cost more than a tenth of the run.

#include <time.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "bench.h"
#include "bench_files.h"
#include "dbx/store_index.h"
#include "engine/store_state.h"

namespace fs = std::filesystem;

namespace {

// The processor time this thread has taken.
double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

struct store_closer {
    void operator()(dbx_t* store) const { dbx_close(store); }
};

}  // namespace

void index_benchmarks(bench_run& run) {
    std::string store = (run.scratch() / "indexed-list.dbx").string();
    write_realistic_store(store, uint64_t(512) << 20, true);
    run_child({"/bin/cat", store});  // into the page cache
    std::vector<double> lists, reads, cpu, list_cpu, joins, join_cpu;
    size_t entries = 0;
    std::unique_ptr<dbx_t, store_closer> opened;
    {
        quiet_stdout quiet;
        opened.reset(dbx_open(store.c_str()));
    }
    if (!opened) throw std::runtime_error("cannot open " + store);
    for (int i = 0; i < 3; ++i) {
        child_usage list = run_child({MORVALE_CLI, store});
        lists.push_back(list.seconds);
        list_cpu.push_back(list.processor_seconds);
        dbx_store_index index;
        double cpu_before = thread_seconds();
        reads.push_back(seconds_of([&] {
            index = dbx_read_store_index(*opened);
            if (!index.note.empty()) throw std::runtime_error(index.note);
            entries = index.entries.size();
        }));
        double cpu_read = thread_seconds();
        cpu.push_back(cpu_read - cpu_before);
        joins.push_back(seconds_of([&] {
            store_state state(*opened, std::move(index));
            if (!state.missing().empty()) throw std::runtime_error("the index names lost messages");
        }));
        join_cpu.push_back(thread_seconds() - cpu_read);
    }
    double load[1] = {0};
    getloadavg(load, 1);
    run.note("index of " + std::to_string(entries) + " messages read in " +
             fixed(median(reads) * 1000, 1) + " ms (" + fixed(median(cpu) * 1000, 1) +
             " ms of processor time), joined to the chains in " + fixed(median(joins) * 1000, 1) +
             " ms (" + fixed(median(join_cpu) * 1000, 1) + " ms); list-only run of 512 MiB " +
             fixed(median(lists), 2) + " s (" + fixed(median(list_cpu), 2) +
             " s of processor time; medians of 3; load average " + fixed(load[0], 1) + ")");
    run.figure("index read/list-only run time",
               fixed(100 * median(reads) / median(lists), 2) + " %");
    run.figure("index read/list-only run processor time",
               fixed(100 * median(cpu) / median(list_cpu), 2) + " %");
    std::vector<double> both, both_cpu;
    for (size_t i = 0; i < reads.size(); ++i) {
        both.push_back(reads[i] + joins[i]);
        both_cpu.push_back(cpu[i] + join_cpu[i]);
    }
    run.figure("index read and join/list-only run time",
               fixed(100 * median(both) / median(lists), 2) + " %");
    run.figure("index read and join/list-only run processor time",
               fixed(100 * median(both_cpu) / median(list_cpu), 2) + " %");
    opened.reset();
    fs::remove(store);
}
