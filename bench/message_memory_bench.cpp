// Peak memory of save runs of a store that holds one very large message, as .eml and as
// .msg: each message is held in memory while it is written, and nothing more should be.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "bench.h"
#include "bench_files.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t message_bytes = 200'000'000;

void put_word(std::string& block, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) block[at + i] = char(value >> (8 * i));
}

// One live message of `length` bytes in blocks that follow each other from offset 0x200,
// written block by block so that this process stays small (a child it starts inherits
// its peak).
void write_one_message_store(const std::string& path, uint64_t length) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot write " + path);
    std::string head(0x200, '\0');
    std::memcpy(head.data(), dbxgen::store_signature.data(), dbxgen::store_signature.size());
    std::fwrite(head.data(), 1, head.size(), out);
    std::string text =
        "From: Ann <ann@example.com>\r\nTo: Bob <bob@example.com>\r\nSubject: The big one\r\n"
        "Date: Tue, 15 Nov 1994 08:12:31 GMT\r\n\r\n";
    const std::string line = "A line of the body of a very large message, over and over.\r\n";
    std::string block(dbxgen::block_size, '\0');
    uint64_t written = 0;
    for (uint32_t offset = 0x200; written < length; offset += dbxgen::block_size) {
        while (text.size() < dbxgen::data_area) text += line;
        uint32_t used = uint32_t(std::min<uint64_t>(dbxgen::data_area, length - written));
        bool last = written + used == length;
        put_word(block, 0, offset);
        put_word(block, 4, 512);
        put_word(block, 8, used);
        put_word(block, 12, last ? 0 : offset + dbxgen::block_size);
        std::memcpy(block.data() + 16, text.data(), used);
        text.erase(0, used);
        std::fwrite(block.data(), 1, block.size(), out);
        written += used;
    }
    if (!settle(out)) throw std::runtime_error("cannot write " + path);
}

void bench_save_memory(bench_run& run, const std::string& store, const char* option, const char* kind) {
    fs::path out = run.scratch() / (std::string("big-") + kind);
    child_usage usage = run_child({MORVALE_CLI, option, store, out.string()});
    run.figure(std::string("peak memory ") + kind + " save of a 200 MB message",
               fixed(usage.peak_kib / 1024.0, 1) + " MiB (" + fixed(usage.seconds, 2) + " s)");
    fs::remove_all(out);
}

}  // namespace

void message_memory_benchmarks(bench_run& run) {
    std::string store = (run.scratch() / "one-big-message.dbx").string();
    write_one_message_store(store, message_bytes);
    bench_save_memory(run, store, "--eml", "eml");
    bench_save_memory(run, store, "--msg", "msg");
    fs::remove(store);
}
