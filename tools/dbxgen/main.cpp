// dbxgen --seed S --messages N --deleted M [--size BYTES] [--mime] [--attachment BYTES] OUT.dbx
// Writes a synthetic Outlook Express store: live messages, freed fragments of deleted
// ones, and noise between them. The same arguments always give the same file. With
// --mime the messages are MIME-rich: HTML, attachments, inline images, forwarded
// messages, and the broken forms mailers wrote. With --attachment each message carries one
// attachment of that many random bytes.
// dbxgen --charsets OUT.dbx writes the small store of headers in several charsets.
// dbxgen --from-lines OUT.dbx writes the small store of lines an mbox file quotes.
// dbxgen --files OUT.dbx MESSAGE... writes a store of the given message files, in order.
// With --index the store is as Outlook Express wrote it: a file header and, after the
// messages, the index that names each live one.
// dbxgen --damaged-index KIND OUT.dbx writes a small store whose index is damaged
// (cut-tree, looping-nodes, oversized-node, lying-count, freed-target, stray-value,
// cut-file; none: a sound one).
// dbxgen --identity FOLDER writes an identity's store folder: 12 stores in nested folders
// and their Folders.dbx.
// dbxgen --hostile FOLDER
// Writes the small hostile stores (rings, self-links, cut headers, ...) into FOLDER as
// NAME.dbx, for the fuzzers' seed corpora.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "tools/dbxgen/dbxgen.h"
#include "tools/dbxgen/hostile.h"
#include "tools/dbxgen/indexed.h"

namespace {

int usage() {
    std::fprintf(
        stderr,
        "usage: dbxgen --seed S --messages N --deleted M [--size BYTES] [--fill] [--mime] "
        "[--attachment BYTES] [--index] OUT.dbx\n"
        "       dbxgen --hostile FOLDER\n"
        "  --size BYTES  pad the store with noise up to BYTES\n"
        "  --fill        keep adding messages and fragments (in the ratio N:M) up to BYTES\n"
        "  --mime        messages with HTML, attachments, inline images, forwarded messages\n"
        "  --attachment BYTES  each message with one attachment of BYTES random bytes\n"
        "  --index       the file header and the index that names every live message\n"
        "       dbxgen --damaged-index KIND OUT.dbx\n"
        "  KIND          cut-tree, looping-nodes, oversized-node, lying-count, freed-target,\n"
        "                stray-value, cut-file, or none\n"
        "       dbxgen --identity FOLDER\n"
        "  --identity    12 stores in nested folders and their Folders.dbx\n"
        "       dbxgen --charsets OUT.dbx\n"
        "  --charsets    a few messages with headers in several charsets\n"
        "       dbxgen --from-lines OUT.dbx\n"
        "  --from-lines  a few messages with lines an mbox file quotes\n"
        "       dbxgen --files OUT.dbx MESSAGE...\n"
        "  --files       the given message files as the live messages of a store\n");
    return 2;
}

bool parse_number(const char* text, uint64_t& value) {
    char* end = nullptr;
    if (text == nullptr || *text == '\0' || *text == '-') return false;
    value = std::strtoull(text, &end, 10);
    return *end == '\0';
}

int write_small_store(const dbxgen::store_image& image, const char* out_path, const char* what) {
    if (!image.write_file(out_path)) {
        platform::report_error(out_path);
        return 1;
    }
    std::printf("%s: %s\n", out_path, what);
    return 0;
}

// A store of the message files named, each read whole.
int write_files_store(const char* out_path, char** files, int count) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        std::string text;
        if (!platform::read_whole_file(files[i], text)) {
            platform::report_error(files[i]);
            return 1;
        }
        texts.push_back(std::move(text));
    }
    std::string what = std::to_string(count) + " messages";
    return write_small_store(dbxgen::store_of_messages(texts), out_path, what.c_str());
}

// The small hostile stores, each as FOLDER/NAME.dbx; the folder must exist.
int write_hostile_seeds(const std::string& folder) {
    for (const dbxgen::hostile_shape& shape : dbxgen::hostile_shapes()) {
        if (!shape.seed) continue;
        std::string path = folder + "/" + shape.name + ".dbx";
        if (!dbxgen::write_hostile_store(shape.make(), path)) {
            platform::report_error(path.c_str());
            return 1;
        }
    }
    return 0;
}

int run(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--charsets") == 0)
        return write_small_store(dbxgen::charset_store(), argv[2], "headers in several charsets");
    if (argc == 3 && std::strcmp(argv[1], "--from-lines") == 0)
        return write_small_store(dbxgen::from_lines_store(), argv[2], "lines an mbox file quotes");
    if (argc == 3 && std::strcmp(argv[1], "--hostile") == 0) return write_hostile_seeds(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--damaged-index") == 0) {
        dbxgen::indexed_store_options options;
        if (!dbxgen::damage_named(argv[2], options.damage)) return usage();
        options.messages = 12;
        options.deleted = 2;
        return write_small_store(dbxgen::indexed_store(options), argv[3], argv[2]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--identity") == 0) {
        if (!dbxgen::write_identity(argv[2], stdout)) {
            platform::report_error(argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--files") == 0)
        return write_files_store(argv[2], argv + 3, argc - 3);
    dbxgen::store_options options;
    const char* out_path = nullptr;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i];
        uint64_t value = 0;
        const char* operand = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--fill") {
            options.fill = true;
        } else if (arg == "--index") {
            options.index = true;
        } else if (arg == "--mime") {
            options.mime = true;
        } else if (arg == "--seed" || arg == "--messages" || arg == "--deleted" ||
                   arg == "--size" || arg == "--attachment") {
            if (!parse_number(operand, value)) return usage();
            i++;
            if (arg == "--seed") options.seed = value;
            if (arg == "--messages") options.messages = int(value);
            if (arg == "--deleted") options.deleted = int(value);
            if (arg == "--size") options.size = value;
            if (arg == "--attachment") options.attachment = value;
        } else if (out_path == nullptr && arg.rfind("--", 0) != 0) {
            out_path = argv[i];
        } else {
            return usage();
        }
    }
    if (out_path == nullptr || (options.fill && options.size == 0)) return usage();
    FILE* out = platform::open_file(out_path, "wb");
    if (out == nullptr) {
        platform::report_error(out_path);
        return 1;
    }
    int64_t size = dbxgen::write_store(options, out);
    if (std::fclose(out) != 0 || size < 0) {
        platform::report_error(out_path);
        return 1;
    }
    std::printf("%s: %lld bytes\n", out_path, static_cast<long long>(size));
    return 0;
}

}  // namespace

#ifdef _WIN32
// Windows hands over the arguments as UTF-16; the rest of the program takes UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 0; i < argc; i++) args.push_back(platform::narrow_utf8(argv[i]));
    std::vector<char*> pointers;
    for (std::string& arg : args) pointers.push_back(arg.data());
    return run(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
    return run(argc, argv);
}
#endif
