// The store scan against plain reading: a realistic store of 1 GiB, a store of a million
// blocks laid out against naive linking, and the scan's peak memory.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "bench.h"
#include "bench_files.h"
#include "dbx/dbx.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

constexpr uint64_t gibibyte = uint64_t(1) << 30;
constexpr int repeats = 5;

// A million blocks, one after the other, in groups of three kinds: chains laid out in
// reverse file order (every block links to the one before it), blocks naming offsets
// where no block lies, and short chains in file order. A quarter of the groups are freed
// blocks. A literal scan would search the whole list for almost every block.
void write_block_store(const std::string& path, uint32_t block_total) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot create " + path);
    dbxgen::store_image head;
    head.put_signature();
    std::fwrite(head.bytes().data(), 1, head.size(), out);
    dbxgen::random_source random(1000000);
    uint64_t file_end = 16 + uint64_t(block_total) * dbxgen::block_size;
    uint32_t made = 0;
    while (made < block_total) {
        unsigned kind = unsigned(random.below(100));
        uint32_t length = uint32_t(kind < 50   ? random.between(2, 64)
                                   : kind < 85 ? 1
                                               : random.between(2, 16));
        length = std::min(length, block_total - made);
        bool freed = random.chance(25);
        uint32_t first = 16 + made * dbxgen::block_size;
        dbxgen::store_image group(first);
        group.resize(size_t(length) * dbxgen::block_size);
        for (uint32_t j = 0; j < length; j++) {
            uint32_t offset = first + j * dbxgen::block_size;
            uint32_t next = 0;
            if (kind < 50) {
                next = j == 0 ? 0 : offset - dbxgen::block_size;
            } else if (kind < 85) {
                uint64_t ahead = offset + dbxgen::block_size * random.between(1, 1000) + 8;
                next = uint32_t(ahead < file_end ? ahead : offset - 520);
            } else {
                next = j + 1 < length ? offset + dbxgen::block_size : 0;
            }
            if (freed)
                group.put_freed_header(offset, next, 0);
            else
                group.put_live_header(offset, 512, next);
        }
        std::fwrite(group.bytes().data(), 1, group.size(), out);
        made += length;
    }
    if (!settle(out)) throw std::runtime_error("cannot write " + path);
}

// Reads the whole file with large read calls, as fast as the system gives it.
double time_read(const std::string& path) {
    std::vector<char> buffer(size_t(1) << 20);
    int file = open(path.c_str(), O_RDONLY);
    if (file < 0) throw std::runtime_error("cannot open " + path);
    double seconds = seconds_of([&] {
        while (read(file, buffer.data(), buffer.size()) > 0) {
        }
    });
    close(file);
    return seconds;
}

struct scan_outcome {
    double seconds;
    int32_t blocks[2];
    int32_t chains[2];
};

scan_outcome time_scan(const std::string& path) {
    scan_outcome outcome{};
    dbx_t* store = nullptr;
    {
        quiet_stdout quiet;
        outcome.seconds = seconds_of([&] { store = dbx_open(path.c_str()); });
    }
    if (store == nullptr) throw std::runtime_error("dbx_open failed on " + path);
    for (int i = 0; i < 2; i++) {
        outcome.blocks[i] = store->lists[i].block_count;
        outcome.chains[i] = store->lists[i].chain_count;
    }
    dbx_close(store);
    return outcome;
}

// The peak resident memory, in KiB, of a fresh process that opens the store.
long peak_memory_of_scan(const std::string& path) {
    return run_child({"/proc/self/exe", "--scan-child", path}).peak_kib;
}

std::string counts(const scan_outcome& scan) {
    return std::to_string(scan.blocks[0]) + " live blocks in " + std::to_string(scan.chains[0]) +
           " chains, " + std::to_string(scan.blocks[1]) + " freed blocks in " +
           std::to_string(scan.chains[1]) + " chains";
}

void bench_gibibyte_store(bench_run& run) {
    std::string path = (run.scratch() / "gibibyte.dbx").string();
    double made = seconds_of([&] { write_realistic_store(path, gibibyte); });
    run.note("wrote a realistic 1 GiB store in " + fixed(made, 1) + " s");
    time_read(path);  // into the page cache
    std::vector<double> reads, scans;
    scan_outcome last{};
    for (int i = 0; i < repeats; i++) {
        reads.push_back(time_read(path));
        last = time_scan(path);
        scans.push_back(last.seconds);
    }
    run.note("read " + fixed(median(reads), 3) + " s, scan " + fixed(median(scans), 3) +
             " s (medians of " + std::to_string(repeats) + "); " + counts(last));
    run.figure("scan/read time ratio", fixed(median(scans) / median(reads), 2));

    long peak_kib = peak_memory_of_scan(path);
    int64_t found = int64_t(last.blocks[0]) + last.blocks[1];
    double budget = 64.0 + 24.0 * double(found) / (1 << 20);
    run.figure("peak memory scanning 1 GiB", fixed(double(peak_kib) / 1024, 1) + " MiB");
    run.figure("blocks found in 1 GiB",
               std::to_string(found) + " (memory budget " + fixed(budget, 1) + " MiB)");
    std::remove(path.c_str());
}

void bench_million_blocks(bench_run& run) {
    std::string path = (run.scratch() / "million.dbx").string();
    write_block_store(path, 1000000);
    time_read(path);
    std::vector<double> scans;
    scan_outcome last{};
    for (int i = 0; i < 3; i++) {
        last = time_scan(path);
        scans.push_back(last.seconds);
    }
    run.note(counts(last));
    run.figure("scan 1000000 blocks", fixed(median(scans), 3) + " s");
    std::remove(path.c_str());
}

}  // namespace

void scan_benchmarks(bench_run& run) {
    bench_gibibyte_store(run);
    bench_million_blocks(run);
}

int scan_child(const char* path) {
    quiet_stdout quiet;
    dbx_t* store = dbx_open(path);
    if (store == nullptr) return 1;
    dbx_close(store);
    return 0;
}
