// Peak memory of save runs of a store that holds one very large message, as .eml, as .msg
// and into a PST: the message is held in memory while it is written, and its item besides
// for .msg and PST; nothing more should be. The .msg and PST figures are set against their
// bound: twice the message and 128 MiB.

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "bench.h"
#include "bench_files.h"
#include "platform/byte_layout.h"
#include "tools/dbxgen/dbxgen.h"

namespace {

namespace fs = std::filesystem;

constexpr uint64_t message_bytes = 400'000'000;

// A message text handed over in pieces: each call gives the next piece, empty at the end.
using text_source = std::function<std::string()>;

// One live message in blocks that follow each other from offset 0x200, written block by
// block as the source gives its text, so that this process stays small (a child it starts
// inherits its peak).
void write_one_message_store(const std::string& path, const text_source& next_piece) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot write " + path);
    std::string head(0x200, '\0');
    std::memcpy(head.data(), dbxgen::store_signature.data(), dbxgen::store_signature.size());
    std::fwrite(head.data(), 1, head.size(), out);
    std::string text, block(dbxgen::block_size, '\0');
    bool more = true;
    for (uint32_t offset = 0x200;; offset += dbxgen::block_size) {
        while (more && text.size() <= dbxgen::data_area) {
            std::string piece = next_piece();
            more = !piece.empty();
            text += piece;
        }
        uint32_t used = uint32_t(std::min<size_t>(dbxgen::data_area, text.size()));
        bool last = !more && used == text.size();
        platform::put_le32(block, 0, offset);
        platform::put_le32(block, 4, 512);
        platform::put_le32(block, 8, used);
        platform::put_le32(block, 12, last ? 0 : offset + dbxgen::block_size);
        std::memset(block.data() + 16, 0, dbxgen::data_area);
        std::memcpy(block.data() + 16, text.data(), used);
        text.erase(0, used);
        std::fwrite(block.data(), 1, block.size(), out);
        if (last) break;
    }
    if (!settle(out)) throw std::runtime_error("cannot write " + path);
}

const char* const big_header =
    "From: Ann <ann@example.com>\r\nTo: Bob <bob@example.com>\r\nSubject: The big one\r\n"
    "Date: Tue, 15 Nov 1994 08:12:31 GMT\r\n";

// A plain message of `length` bytes: one line over and over.
text_source plain_message(uint64_t length) {
    auto given = std::make_shared<uint64_t>(0);
    return [given, length]() {
        std::string piece = *given == 0 ? std::string(big_header) + "\r\n" : std::string();
        const std::string line = "A line of the body of a very large message, over and over.\r\n";
        while (piece.size() < 65536) piece += line;
        piece.resize(std::min<uint64_t>(piece.size(), length - *given));
        *given += piece.size();
        return piece;
    };
}

// A MIME message: a short text, then `count` attachments of `each` base64 bytes each (lines
// of 76 characters made from a counter, so no two lines are alike), then the closing line.
text_source attachments_message(int count, uint64_t each) {
    struct state {
        int part = -1;
        uint64_t written = 0;
        uint32_t counter = 0;
        bool done = false;
    };
    auto at = std::make_shared<state>();
    return [at, count, each]() -> std::string {
        if (at->done) return {};
        if (at->part == -1) {
            at->part = 0;
            return std::string(big_header) +
                   "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n"
                   "--b\r\nContent-Type: text/plain\r\n\r\nTen files.\r\n";
        }
        if (at->part == count) {
            at->done = true;
            return "--b--\r\n";
        }
        std::string piece;
        if (at->written == 0) {
            piece = "--b\r\nContent-Type: application/octet-stream; name=\"file" +
                    std::to_string(at->part) +
                    ".bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        }
        while (piece.size() < 65536 && at->written < each) {
            std::string bytes(57, '\0');  // 76 characters of base64
            for (char& c : bytes)
                c = static_cast<char>((at->counter = at->counter * 1103515245 + 12345) >> 24);
            std::string line = dbxgen::base64(bytes) + "\r\n";
            piece += line;
            at->written += line.size();
        }
        if (at->written >= each) {
            ++at->part;
            at->written = 0;
        }
        return piece;
    };
}

constexpr double mib = 1024.0 * 1024.0;

// A save run's peak memory; a run that makes an item is set against its bound as well.
void bench_save_memory(bench_run& run, const std::string& store, const char* option,
                       const char* kind) {
    bool pst = std::strcmp(option, "--pst") == 0;
    fs::path out = run.scratch() / (std::string("big-") + kind + (pst ? ".pst" : ""));
    child_usage usage =
        run_child(pst ? std::vector<std::string>{MORVALE_CLI, option, out.string(), store}
                      : std::vector<std::string>{MORVALE_CLI, option, store, out.string()});
    double peak = usage.peak_kib / 1024.0;
    std::string value = fixed(peak, 1) + " MiB (" + fixed(usage.seconds, 2) + " s)";
    if (std::strcmp(kind, "eml") != 0) {
        double bound = 2 * message_bytes / mib + 128;
        value += ", " + fixed(peak * mib / message_bytes, 2) + " x the message, bound " +
                 fixed(bound, 0) + " MiB: " + (peak <= bound ? "within" : "EXCEEDED");
    }
    run.figure(std::string("peak memory ") + kind + " save of a 400 MB message", value);
    fs::remove_all(out);
}

}  // namespace

// A 100 MB message of ten 10 MB attachments made into a .msg: the MIME reading, the
// decoding and the writing of the file, timed and measured as one save run.
void bench_msg_conversion(bench_run& run) {
    std::string store = (run.scratch() / "attachments-message.dbx").string();
    write_one_message_store(store, attachments_message(10, 10'000'000));
    fs::path out = run.scratch() / "attachments-msg";
    child_usage usage = run_child({MORVALE_CLI, "--msg", store, out.string()});
    run.figure(
        "msg conversion of a 100 MB message",
        fixed(usage.seconds, 2) + " s, peak memory " + fixed(usage.peak_kib / 1024.0, 1) + " MiB");
    fs::remove_all(out);
    fs::remove(store);
}

void message_memory_benchmarks(bench_run& run) {
    std::string store = (run.scratch() / "one-big-message.dbx").string();
    write_one_message_store(store, plain_message(message_bytes));
    bench_save_memory(run, store, "--eml", "eml");
    bench_save_memory(run, store, "--msg", "msg");
    bench_save_memory(run, store, "--pst", "PST");
    fs::remove(store);
    bench_msg_conversion(run);
}
