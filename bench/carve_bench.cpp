// Carving a 2 GiB disk image against plain reading: two realistic stores lying whole, a
// third cut into 4 KiB clusters scattered over the image, and noise everywhere else. The
// same image as a compressed EWF image (ewfacquire) against the raw one, list runs of the
// command each, with and without reading file systems where the build reads them.

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "bench.h"
#include "bench_files.h"
#include "dbx/carve.h"
#include "dbx/integrity.h"
#include "platform/image.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

constexpr uint64_t mebibyte = uint64_t(1) << 20;
constexpr uint64_t image_size = 2048 * mebibyte;
constexpr uint64_t store_size = 256 * mebibyte;
constexpr uint64_t cluster = 4096;
constexpr int repeats = 3;

std::vector<char> read_whole(const std::string& path) {
    FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) throw std::runtime_error("cannot open " + path);
    std::vector<char> bytes(store_size);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), in));
    std::fclose(in);
    bytes.resize((bytes.size() + cluster - 1) / cluster * cluster);
    return bytes;
}

// The image, cluster by cluster: the whole stores at 100 MiB and 700 MiB, the scattered
// store's clusters in random free slots from 1200 MiB on, noise elsewhere.
void write_image(const std::string& path, const std::vector<std::vector<char>>& stores) {
    uint64_t clusters = image_size / cluster;
    std::vector<const char*> at(clusters, nullptr);
    uint64_t whole_starts[2] = {100 * mebibyte / cluster, 700 * mebibyte / cluster};
    for (int s = 0; s < 2; ++s)
        for (uint64_t c = 0; c < stores[s].size() / cluster; ++c)
            at[whole_starts[s] + c] = &stores[s][c * cluster];
    dbxgen::random_source random(2026);
    std::vector<uint64_t> free_slots;
    for (uint64_t c = 1200 * mebibyte / cluster; c < clusters; ++c) free_slots.push_back(c);
    for (uint64_t c = 0; c < stores[2].size() / cluster; ++c) {
        uint64_t pick = random.below(free_slots.size());
        at[free_slots[pick]] = &stores[2][c * cluster];
        free_slots[pick] = free_slots.back();
        free_slots.pop_back();
    }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot create " + path);
    std::vector<uint64_t> noise(cluster / 8);
    for (uint64_t c = 0; c < clusters; ++c) {
        if (at[c] != nullptr) {
            std::fwrite(at[c], 1, cluster, out);
            continue;
        }
        for (uint64_t& word : noise) word = random.next();
        std::fwrite(noise.data(), 1, cluster, out);
    }
    if (!settle(out)) throw std::runtime_error("cannot write " + path);
}

double time_read(const std::string& path) {
    std::vector<char> buffer(mebibyte);
    FILE* in = std::fopen(path.c_str(), "rb");
    double seconds = seconds_of([&] {
        while (std::fread(buffer.data(), 1, buffer.size(), in) > 0) {
        }
    });
    std::fclose(in);
    return seconds;
}

// Blocks the scan found (copies that continue a chain in another carved store aside).
uint64_t blocks_found(const carved_image& carved) {
    uint64_t blocks = 0;
    for (const dbx_t* store : carved.stores)
        for (const dbx_block_list_t& list : store->lists) blocks += uint64_t(list.block_count);
    return blocks;
}

// How whole every chain of every carved store is, as a carve run works it out for its
// records, each message's start taken as attested by its text (which is not read here);
// the count of whole chains keeps the work from being left out.
uint64_t attest_chains(const carved_image& carved) {
    chain_start begins_with_field;
    begins_with_field.begins_with_field = true;
    uint64_t whole = 0;
    for (const dbx_t* store : carved.stores)
        for (int i = 0; i < 2; ++i)
            for (const dbx_block_t* head : store->lists[i].chains)
                whole += dbx_chain_integrity(store, i, head, begins_with_field).whole();
    return whole;
}

// List runs of the command on the image: against `cat`, with and without file systems,
// and on the same image acquired as compressed EWF segments.
// `raw_carve`: the seconds of the carve alone (no list) on the raw image.
void list_run_benchmarks(bench_run& run, const std::string& image, double raw_carve) {
    std::vector<double> cats, raws, ewfs;
    for (int i = 0; i < repeats; ++i) {
        cats.push_back(run_child({"/bin/cat", image}).seconds);
        raws.push_back(run_child({MORVALE_CLI, "--carve", image}).seconds);
    }
    run.note("cat " + fixed(median(cats), 3) + " s, list run " + fixed(median(raws), 3) + " s");
    run.figure("carve list run/cat time ratio", fixed(median(raws) / median(cats), 2));
    // File systems are read unless --no-filesystems is given, in a build that reads them;
    // this image holds none, so the two runs differ only by looking for them.
    std::string asks =
        std::string("'") + MORVALE_CLI + "' --help 2>&1 | grep -q -- --no-filesystems";
    if (std::system(asks.c_str()) == 0) {
        std::vector<double> raw_only;
        for (int i = 0; i < repeats; ++i)
            raw_only.push_back(
                run_child({MORVALE_CLI, "--carve", "--no-filesystems", image}).seconds);
        run.figure("carve list run without file systems/cat time ratio",
                   fixed(median(raw_only) / median(cats), 2));
    } else {
        run.note("this build reads no file systems (no --no-filesystems): measured without");
    }
    std::string ewf = (std::filesystem::path(image).parent_path() / "disk").string();
    double acquiring = seconds_of([&] {
        std::string command = "ewfacquire -u -q -c fast -S 8GiB -t '" + ewf + "' '" + image +
                              "' </dev/null >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("ewfacquire could not acquire " + image);
    });
    ewf += ".E01";
    std::vector<double> ewf_carves;
    for (int i = 0; i < repeats; ++i) {
        ewfs.push_back(run_child({MORVALE_CLI, "--carve", ewf}).seconds);
        quiet_stdout quiet;
        ewf_carves.push_back(seconds_of([&] { dbx_carve_close(dbx_carve(ewf.c_str())); }));
    }
    run.note("ewfacquire -c fast " + fixed(acquiring, 1) + " s, " +
             std::to_string(std::filesystem::file_size(ewf) >> 20) + " MiB; EWF list run " +
             fixed(median(ewfs), 3) + " s");
    run.figure("EWF/raw list run time ratio", fixed(median(ewfs) / median(raws), 2));
    // The scan alone, where decoding weighs most.
    run.note("EWF carve " + fixed(median(ewf_carves), 3) + " s");
    run.figure("EWF/raw carve time ratio", fixed(median(ewf_carves) / raw_carve, 2));
    std::remove(ewf.c_str());
}

}  // namespace

int carve_child(const char* path) {
    quiet_stdout quiet;
    carved_image* carved = dbx_carve(path);
    if (carved == nullptr) return 1;
    dbx_carve_close(carved);
    return 0;
}

void write_carve_image(const std::string& image, const std::filesystem::path& scratch) {
    std::vector<std::vector<char>> stores;
    for (int s = 0; s < 3; ++s) {
        std::string store = (scratch / ("carve" + std::to_string(s) + ".dbx")).string();
        write_realistic_store(store, store_size);
        stores.push_back(read_whole(store));
        std::remove(store.c_str());
    }
    write_image(image, stores);
}

void carve_benchmarks(bench_run& run) {
    std::string image = (run.scratch() / "disk.img").string();
    write_carve_image(image, run.scratch());
    time_read(image);
    std::vector<double> reads, carves, attestations, hashed_carves;
    platform::image_reading reading;
    size_t carved_stores = 0;
    uint64_t blocks = 0, whole = 0;
    for (int i = 0; i < repeats; ++i) {
        reads.push_back(time_read(image));
        carved_image* carved = nullptr;
        {
            quiet_stdout quiet;
            carves.push_back(seconds_of([&] { carved = dbx_carve(image.c_str()); }));
        }
        if (carved == nullptr) throw std::runtime_error("dbx_carve failed on " + image);
        attestations.push_back(seconds_of([&] { whole = attest_chains(*carved); }));
        carved_stores = carved->stores.size();
        blocks = blocks_found(*carved);
        dbx_carve_close(carved);
        // The same carve with --hash-inputs: the image's MD5 and SHA-256 taken as it is read.
        platform::source_opener digesting = [&reading](const char* path, platform::source_kind) {
            platform::source_opening opening = platform::open_image_source(path);
            if (opening.source)
                opening.source = platform::digesting_reads(
                    std::move(opening.source),
                    [&reading](const platform::image_reading& read) { reading = read; });
            return opening;
        };
        {
            quiet_stdout quiet;
            hashed_carves.push_back(seconds_of([&] {
                carved = dbx_carve(image.c_str(), &digesting);
                dbx_carve_close(carved);
            }));
        }
        if (carved == nullptr || !reading.data)
            throw std::runtime_error("the hashing carve did not digest " + image);
    }
    run.note("read " + fixed(median(reads), 3) + " s, carve " + fixed(median(carves), 3) +
             " s (medians of " + std::to_string(repeats) + "); " + std::to_string(carved_stores) +
             " carved stores");
    run.figure("carve/read time ratio", fixed(median(carves) / median(reads), 2));
    run.note("carve with the image's MD5 and SHA-256 taken in its pass " +
             fixed(median(hashed_carves), 3) + " s (MD5 " + reading.data->md5 + ")");
    run.figure("carve with --hash-inputs/carve time ratio",
               fixed(median(hashed_carves) / median(carves), 2));
    run.note("attesting every chain " + fixed(median(attestations), 3) + " s; " +
             std::to_string(whole) + " chains whole");
    run.figure("attestation/read time ratio", fixed(median(attestations) / median(reads), 3));
    long peak_kib = run_child({"/proc/self/exe", "--carve-child", image}).peak_kib;
    double budget = 64.0 + 24.0 * double(blocks) / (1 << 20);
    run.figure("peak memory carving 2 GiB", fixed(double(peak_kib) / 1024, 1) + " MiB for " +
                                                std::to_string(blocks) + " blocks (budget " +
                                                fixed(budget, 1) + " MiB)");
    list_run_benchmarks(run, image, median(carves));
    std::remove(image.c_str());
}
