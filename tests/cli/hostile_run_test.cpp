// Hostile runs of the morvale command, one table: each row makes its inputs at test time
// (stores cut short or shrinking, rings across carved stores, pipes where files are
// expected, outputs aimed at the inputs, same-name inputs, formulas in headers), runs the
// command and checks the exit status, what it said on standard error, the files it wrote,
// and that no input changed.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cfb_reader.h"
#include "cli/command.h"
#include "platform/output_file.h"
#include "platform/read.h"
#include "support/capture.h"
#include "support/fault_source.h"
#include "support/files.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// Relative path -> bytes of every regular file under a folder.
std::map<std::string, std::string> files_under(const fs::path& root) {
    std::map<std::string, std::string> files;
    std::error_code error;
    for (fs::recursive_directory_iterator at(root, error), end; !error && at != end;
         at.increment(error)) {
        if (at->is_regular_file() && !at->is_symlink())
            files[utf8_path(fs::relative(at->path(), root))] = read_file(at->path());
    }
    return files;
}

// The folder of one row: inputs go in "in", the run writes to "out".
struct place {
    temp_dir dir;
    fs::path in = dir.path() / "in", out = dir.path() / "out";
    std::vector<int> held;         // descriptors kept open on pipes (below)
    std::vector<fs::path> locked;  // folders made unreadable, opened again at the end

    place() { fs::create_directories(in); }
    ~place() {
        for (const fs::path& folder : locked) fs::permissions(folder, fs::perms::owner_all);
#ifndef _WIN32
        for (int descriptor : held) close(descriptor);
#endif
    }
    std::string at(const std::string& relative) const {
        return utf8_path(dir.path() / fs::u8path(relative));
    }

    // A store of `messages` plain messages (and a fragment) at the offsets the layout gives:
    // the first message's first block lies at 0x2A0.
    std::string small_store(const std::string& relative, const std::vector<std::string>& messages) {
        dbxgen::store_image image;
        image.put_signature();
        uint32_t offset = 0x2A0;
        for (const std::string& text : messages) {
            std::vector<uint32_t> blocks;
            for (size_t k = 0; k < dbxgen::live_blocks_for(text.size()); ++k)
                blocks.push_back(offset + 528 * uint32_t(k));
            image.add_message(text, blocks);
            offset += 528 * uint32_t(blocks.size());
        }
        image.resize(offset + 528);
        return write(relative, image);
    }
    std::string generated_store(const std::string& relative, uint64_t seed) {
        dbxgen::store_options options;
        options.seed = seed;
        options.messages = 8;
        options.deleted = 2;
        std::string path = at(relative);
        fs::create_directories(fs::u8path(path).parent_path());
        FILE* out = std::fopen(path.c_str(), "wb");
        EXPECT_GT(dbxgen::write_store(options, out), 0);
        std::fclose(out);
        return path;
    }
    std::string write(const std::string& relative, const dbxgen::store_image& image) {
        std::string path = at(relative);
        fs::create_directories(fs::u8path(path).parent_path());
        EXPECT_TRUE(image.write_file(path));
        return path;
    }
    std::string write(const std::string& relative, const std::string& bytes) {
        std::string path = at(relative);
        fs::create_directories(fs::u8path(path).parent_path());
        std::ofstream(fs::u8path(path), std::ios::binary) << bytes;
        return path;
    }
    // A named pipe, held open for reading and writing by the test, so that a program that
    // opens it where it should not is not stopped for good (and finds it empty).
    std::string pipe(const std::string& relative) {
        std::string path = at(relative);
#ifndef _WIN32
        fs::create_directories(fs::u8path(path).parent_path());
        EXPECT_EQ(mkfifo(path.c_str(), 0644), 0);
        int descriptor = open(path.c_str(), O_RDWR | O_NONBLOCK);
        EXPECT_GE(descriptor, 0);
#ifdef F_SETPIPE_SZ
        fcntl(descriptor, F_SETPIPE_SZ, 1 << 20);
#endif
        held.push_back(descriptor);
#endif
        return path;
    }
};

// A ring of `stores` carved stores in an image (see dbxgen::ring_image).
std::string ring_image(place& where, uint32_t stores, std::string& text) {
    return where.write("in/ring.img", dbxgen::ring_image(stores, text));
}

// A disk image of 512 empty bytes and a store of three one-block messages, split into
// in/disk.001 ... in/disk.004 of 1024 bytes: messages "one" (from byte 1184) and "two"
// (from 1712, 46 bytes) lie in disk.002, "three" in disk.003.
std::string split_image(place& where) {
    std::string store = read_file(fs::u8path(where.small_store(
        "store.dbx", {"From: a@x\r\nSubject: one\r\n\r\nx", "From: a@x\r\nSubject: two\r\n\r\nx",
                      "From: a@x\r\nSubject: three\r\n\r\nx"})));
    std::string image = std::string(512, '\0') + store;
    for (size_t k = 0; k * 1024 < image.size(); ++k)
        where.write("in/disk.00" + std::to_string(k + 1), image.substr(k * 1024, 1024));
    return where.at("in/disk.001");
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

struct outcome {
    int status = -1;
    std::string out, err;
    std::map<std::string, std::string> written;  // under "out"
};

// The subjects of the files written, in order.
std::vector<std::string> subjects_written(const outcome& run) {
    std::vector<std::string> subjects;
    for (const auto& [name, bytes] : run.written) {
        size_t at = bytes.find("Subject: ");
        if (at != std::string::npos)
            subjects.push_back(bytes.substr(at + 9, bytes.find('\r', at) - at - 9));
    }
    std::sort(subjects.begin(), subjects.end());
    return subjects;
}

struct hostile_run {
    const char* name;
    bool needs_posix;  // pipes, hard links, links, names Windows refuses
    // Makes the inputs and returns the arguments.
    std::function<std::vector<std::string>(place&)> set_up;
    int status;
    // Lines or parts of lines standard error must hold; "$D/" is the row's folder.
    std::vector<std::string> said;
    std::function<void(place&, const outcome&)> check;
    bool changes_input = false;  // the row shrinks its store on purpose
};

const std::string six_starts[] = {
    "=HYPERLINK(\"http://x\")", "+1+1", "-2+3", "@SUM(A1)", "\tTAB", "\rCR"};

std::atomic<int> reads{0};
// What the inputs of the run of a row read through.
read_faults faults;

// The last part of a message: contract.pdf, sent in base64.
const std::string contract_part =
    "\r\n--b\r\nContent-Type: application/pdf; name=contract.pdf\r\n"
    "Content-Transfer-Encoding: base64\r\n\r\nJVBERi0x\r\n--b--\r\n";
// A raw binary part holding a NUL, then contract.pdf.
const std::string contract_after_nul =
    std::string(
        "From: a@x\r\nTo: b@y\r\nSubject: contract\r\nContent-Type: multipart/mixed; "
        "boundary=b\r\n\r\n--b\r\nContent-Type: application/octet-stream; "
        "name=ab.bin\r\n\r\nAB\0CD",
        149) +
    contract_part;

const std::vector<hostile_run>& hostile_runs() {
    static const std::vector<hostile_run> runs = {
        {"store of 32 bytes whose block claims 400",
         false,
         [](place& p) {
             dbxgen::store_image image;
             image.put_signature();
             image.put_live_header(16, 400, 0);
             p.write("in/short.dbx", image);
             return std::vector<std::string>{"--eml", "--manifest", p.at("m.jsonl"),
                                             p.at("in/short.dbx"), p.at("out")};
         },
         0,
         {},
         [](place& p, const outcome& run) {
             ASSERT_EQ(run.written.size(), 1u);
             EXPECT_EQ(run.written.begin()->second, std::string(400, '\0'));
             std::vector<std::string> lines = lines_of(read_file(p.dir.path() / "m.jsonl"));
             ASSERT_EQ(lines.size(), 2u);  // the run's record, then the message's
             auto record = nlohmann::json::parse(lines[1]);
             EXPECT_EQ(record["reason"], "cut short");
         }},
        {"disk image cut in the middle of a message",
         false,
         [](place& p) {
             std::string message =
                 "From: a@example.com\r\nSubject: cut\r\n\r\n" + std::string(900, 'x');
             std::string store = read_file(fs::u8path(p.small_store("store.dbx", {message})));
             p.write("in/cut.img",
                     std::string(1024, '\0') + store.substr(0, 0x2A0 + 528 + 16 + 200));
             return std::vector<std::string>{"--carve",          "--eml",
                                             "--manifest",       p.at("m.jsonl"),
                                             p.at("in/cut.img"), p.at("out")};
         },
         0,
         {},
         [](place& p, const outcome& run) {
             ASSERT_EQ(run.written.size(), 1u);
             EXPECT_EQ(run.written.begin()->second.size(), 37 + 900u);
             std::vector<std::string> lines = lines_of(read_file(p.dir.path() / "m.jsonl"));
             ASSERT_EQ(lines.size(), 2u);  // the run's record, then the message's
             auto record = nlohmann::json::parse(lines[1]);
             EXPECT_EQ(record["reason"], "cut short");
         }},
        {"store shrinking between two reads",
         true,  // Windows keeps an open file's size
         [](place& p) {
             std::string store = p.generated_store("in/shrinks.dbx", 7);
             reads = 0;
             faults.bad = [store](uint64_t, size_t) -> std::optional<uint64_t> {
                 std::error_code ignored;
                 if (++reads == 2)
                     fs::resize_file(fs::u8path(store), fs::file_size(fs::u8path(store)) / 2,
                                     ignored);
                 return std::nullopt;
             };
             return std::vector<std::string>{"--eml", store, p.at("out")};
         },
         1,
         {"the file is shorter than when the run began"},
         [](place&, const outcome& run) {
             EXPECT_FALSE(run.written.empty());
             for (const auto& [name, bytes] : run.written)
                 EXPECT_EQ(bytes.find('\0'), std::string::npos)
                     << name << " holds bytes never read";
         },
         true},
        {"list run over unreadable bytes",
         false,
         [](place& p) {
             std::string store = p.small_store(
                 "in/Inbox.dbx",
                 {"From: a@x\r\nSubject: one\r\n\r\nx", "From: b@x\r\nSubject: two\r\n\r\ny"});
             uint64_t bad = 0x2A0 + 528 + 20;  // in the second message's text
             faults.bad = bad_ranges({{bad, bad + 1}});
             return std::vector<std::string>{store};
         },
         1,
         {"cannot read bytes"},
         [](place&, const outcome& run) {
             EXPECT_NE(run.out.find("------ 0 messages recovered, 1 errors\n"), std::string::npos)
                 << run.out;
             std::string list = run.out.substr(run.out.find("From\tE-mail Subject\tTo\tDate\n"));
             EXPECT_EQ(lines_of(list).size(), 2u) << list;
             EXPECT_NE(list.find("a@x\tone\t"), std::string::npos) << list;
         }},
        {"two carved stores whose blocks continue into each other",
         false,
         [](place& p) {
             std::string text;
             return std::vector<std::string>{"--carve", "--eml", ring_image(p, 2, text),
                                             p.at("out")};
         },
         0,
         {},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 1u);
             EXPECT_EQ(run.written.begin()->second,
                       "From: ring@example.com\r\nSubject: ring\r\n\r\npart 1\r\n");
         }},
        {"manifest aimed at the store",
         false,
         [](place& p) {
             p.small_store("in/Inbox.csv", {"From: a@x\r\n\r\nx"});
             return std::vector<std::string>{"--manifest", p.at("in/Inbox.csv"),
                                             p.at("in/Inbox.csv")};
         },
         2,
         {"morvale: the manifest $D/in/Inbox.csv is the input $D/in/Inbox.csv; nothing was "
          "written\n"},
         [](place&, const outcome& run) { EXPECT_EQ(run.out, ""); }},
        {"manifest aimed at a hard link to the store",
         true,
         [](place& p) {
             std::string store = p.small_store("in/st.dbx", {"From: a@x\r\n\r\nx"});
             fs::create_hard_link(fs::u8path(store), fs::u8path(p.at("in/hard.jsonl")));
             return std::vector<std::string>{"--eml", "--manifest", p.at("in/hard.jsonl"), store,
                                             p.at("out")};
         },
         2,
         {"morvale: the manifest $D/in/hard.jsonl is the input $D/in/st.dbx; nothing was "
          "written\n"},
         [](place& p, const outcome&) { EXPECT_FALSE(fs::exists(p.out)); }},
        {"folder aimed at the store",
         false,
         [](place& p) {
             std::string store = p.small_store("in/st.dbx", {"From: a@x\r\n\r\nx"});
             return std::vector<std::string>{"--eml", store, store};
         },
         2,
         {"morvale: the folder $D/in/st.dbx is the input $D/in/st.dbx; nothing was written\n"},
         {}},
        {"pipe given as a store",
         true,
         [](place& p) {
             return std::vector<std::string>{"--eml", p.pipe("in/pipe.dbx"), p.at("out")};
         },
         1,
         {"$D/in/pipe.dbx"},
         [](place&, const outcome& run) { EXPECT_TRUE(run.written.empty()); }},
        {"pipe in a store folder",
         true,
         [](place& p) {
             p.small_store("in/mail/a.dbx", {"From: a@x\r\nSubject: kept\r\n\r\nx"});
             p.pipe("in/mail/x.dbx");
             return std::vector<std::string>{"--eml", p.at("in/mail"), p.at("out")};
         },
         1,
         {"morvale: $D/in/mail/x.dbx: not a regular file; skipped\n"},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 1u);
             EXPECT_EQ(run.written.begin()->first.rfind("mail/a/a@x_", 0), 0u);
         }},
        {"pipe given as an image",
         true,
         [](place& p) {
             return std::vector<std::string>{"--carve", "--eml", p.pipe("in/pipe.img"),
                                             p.at("out")};
         },
         1,
         {"$D/in/pipe.img"},
         [](place&, const outcome& run) { EXPECT_TRUE(run.written.empty()); }},
        {"pipe at a temporary name of a .msg file",
         true,
         [](place& p) {
             std::string store =
                 p.small_store("in/st.dbx", {"From: a@x\r\nSubject: s\r\n\r\nbody"});
             p.pipe("out/st/~morvale.000002A0.msg.tmp");
             return std::vector<std::string>{"--msg", store, p.at("out")};
         },
         0,
         {},
         [](place& p, const outcome& run) {
             EXPECT_EQ(fs::status(fs::u8path(p.at("out/st/~morvale.000002A0.msg.tmp"))).type(),
                       fs::file_type::fifo);
             ASSERT_EQ(run.written.size(), 1u);
             EXPECT_EQ(run.written.begin()->second.substr(0, 4), "\xD0\xCF\x11\xE0");
         }},
        {"output folder reached through a link",
         true,
         [](place& p) {
             p.small_store("in/tree/a.dbx", {"From: a@x\r\n\r\nx"});
             fs::create_directories(p.dir.path() / "outside");
             fs::create_directories(p.out);
             fs::create_directory_symlink("../outside", p.out / "tree");
             return std::vector<std::string>{"--eml", p.at("in/tree"), p.at("out")};
         },
         1,
         {"link"},
         [](place& p, const outcome&) { EXPECT_TRUE(fs::is_empty(p.dir.path() / "outside")); }},
        {"unreadable folder in a store folder",
         true,
         [](place& p) {
             p.small_store("in/mail/a.dbx", {"From: a@x\r\n\r\nx"});
             p.small_store("in/mail/locked/b.dbx", {"From: b@x\r\n\r\nx"});
             p.locked.push_back(fs::u8path(p.at("in/mail/locked")));
             fs::permissions(p.locked.back(), fs::perms::none);
             return std::vector<std::string>{"--eml", p.at("in/mail"), p.at("out")};
         },
         1,
         {"morvale: $D/in/mail/locked: Permission denied\n"},
         [](place&, const outcome& run) { EXPECT_EQ(run.written.size(), 1u); }},
        {"same-name stores in one folder",
         true,
         [](place& p) {
             p.small_store("in/mail/Inbox.dbx", {"From: lower@x\r\n\r\nx"});
             p.small_store("in/mail/Inbox.DBX", {"From: upper@x\r\n\r\nx"});
             return std::vector<std::string>{"--eml", p.at("in/mail"), p.at("out")};
         },
         0,
         {"morvale: $D/in/mail/Inbox.dbx: another store of this run has the same name; its "
          "messages go to "
          "$D/out/mail/Inbox (2)\n"},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 2u);
             EXPECT_EQ(run.written.begin()->first.rfind("mail/Inbox (2)/lower@x_", 0), 0u);
             EXPECT_EQ(std::next(run.written.begin())->first.rfind("mail/Inbox/upper@x_", 0), 0u);
         }},
        {"same-name folders side by side",
         false,
         [](place& p) {
             p.small_store("in/a/Mail/Inbox.dbx", {"From: a@x\r\n\r\nx"});
             p.small_store("in/b/Mail/Inbox.dbx", {"From: b@x\r\n\r\nx"});
             return std::vector<std::string>{"--eml", p.at("in/a/Mail"), p.at("in/b/Mail"),
                                             p.at("out")};
         },
         0,
         {"morvale: $D/in/b/Mail: another folder of this run has the same name; its messages go to "
          "$D/out/Mail (2)\n"},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 2u);
             EXPECT_EQ(run.written.begin()->first.rfind("Mail (2)/Inbox/b@x_", 0), 0u);
             EXPECT_EQ(std::next(run.written.begin())->first.rfind("Mail/Inbox/a@x_", 0), 0u);
         }},
        {"two images of one name",
         false,
         [](place& p) {
             std::string store =
                 read_file(fs::u8path(p.small_store("store.dbx", {"From: a@x\r\n\r\nx"})));
             p.write("in/i1/disk.img", std::string(512, '\0') + store);
             p.write("in/i2/disk.img", std::string(512, '\0') + store);
             return std::vector<std::string>{"--carve", "--eml", p.at("in/i1/disk.img"),
                                             p.at("in/i2/disk.img"), p.at("out")};
         },
         0,
         {"morvale: $D/in/i2/disk.img: another image of this run has the same name; its messages "
          "go to "
          "$D/out/disk.img (2)\n"},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 2u);
             EXPECT_EQ(run.written.begin()->first.rfind("disk.img (2)/000000000200/a@x_", 0), 0u);
             EXPECT_EQ(std::next(run.written.begin())->first.rfind("disk.img/000000000200/a@x_", 0),
                       0u);
         }},
        {"carved store whose folder is refused",
         false,
         [](place& p) {
             std::string store =
                 read_file(fs::u8path(p.small_store("store.dbx", {"From: a@x\r\n\r\nx"})));
             store.resize((store.size() + 511) / 512 * 512,
                          '\0');  // the second copy starts on a sector
             p.write("in/disk.img",
                     std::string(512, '\0') + store + std::string(512, '\0') + store);
             p.write("out/disk.img/000000000200", "not a folder");
             return std::vector<std::string>{"--carve", "--eml", p.at("in/disk.img"), p.at("out")};
         },
         1,
         {"Saving completed with 1 errors\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(run.written.size(), 2u);  // the file in the way and one message
             EXPECT_EQ(run.written.count("disk.img/000000000200"), 1u);
         }},
        {"another run's temporary file in the folder",
         false,
         [](place& p) {
             std::string store =
                 p.small_store("in/st.dbx", {"From: a@x\r\nSubject: s\r\n\r\nbody"});
             p.write("out/st/~morvale.000002A0.eml.tmp", "half of another run's file");
             return std::vector<std::string>{"--eml", store, p.at("out")};
         },
         0,
         {},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 2u);
             EXPECT_EQ(run.written.at("st/~morvale.000002A0.eml.tmp"),
                       "half of another run's file");
             EXPECT_EQ(run.written.begin()->second, "From: a@x\r\nSubject: s\r\n\r\nbody");
         }},
        {"CSV of the six dangerous starts",
         false,
         [](place& p) {
             std::vector<std::string> messages;
             for (const std::string& start : six_starts)
                 messages.push_back("From: " + start + "\r\nTo: =1+1\r\nSubject: " + start +
                                    " \x1B[31mred\a\r\n\r\nx");
             std::string store = p.small_store("in/st.dbx", messages);
             return std::vector<std::string>{"--manifest", p.at("m.csv"), store};
         },
         0,
         {},
         [](place& p, const outcome&) {
             std::vector<std::string> lines = lines_of(read_file(p.dir.path() / "m.csv"));
             ASSERT_EQ(lines.size(), 7u);
             for (size_t k = 1; k < lines.size(); ++k) {
                 EXPECT_NE(lines[k].find(",'=1+1,"), std::string::npos) << lines[k];
                 EXPECT_NE(lines[k].find(" \\x1B[31mred\\x07"), std::string::npos) << lines[k];
                 EXPECT_EQ(lines[k].find('\x1B'), std::string::npos) << lines[k];
             }
             EXPECT_NE(lines[1].find(",\"'=HYPERLINK(\"\"http://x\"\")\","), std::string::npos)
                 << lines[1];
             EXPECT_NE(lines[6].find(",'\\x0DCR,"), std::string::npos) << lines[6];
         }},
        {"raw FC A3 80 80 in a subject",
         false,
         [](place& p) {
             std::string store = p.small_store(
                 "in/st.dbx", {"From: a@x\r\nSubject: raw \xFC\xA3\x80\x80 bytes\r\n\r\nx"});
             return std::vector<std::string>{"--eml", "--manifest", p.at("m.jsonl"), store,
                                             p.at("out")};
         },
         0,
         {},
         [](place& p, const outcome& run) {
             std::vector<std::string> lines = lines_of(read_file(p.dir.path() / "m.jsonl"));
             ASSERT_EQ(lines.size(), 2u);  // the run's record, then the message's
             auto record = nlohmann::json::parse(lines[1]);
             std::string file = record["file"];
             EXPECT_EQ(run.written.count(file), 1u) << file;
             EXPECT_NE(file.find("raw \xC3\xBC\xC2\xA3\xE2\x82\xAC\xE2\x82\xAC bytes"),
                       std::string::npos)
                 << file;
         }},
        {"control characters in a folder's name",
         true,
         [](place& p) {
             p.pipe("in/mail/A\x1B[31mB\nC/y.dbx");
             return std::vector<std::string>{p.at("in/mail")};
         },
         1,
         {"morvale: $D/in/mail/A?[31mB?C/y.dbx: not a regular file; skipped\n"},
         {}},
        {"--pst with its file forgotten: the first store would be the file",
         false,
         [](place& p) {
             return std::vector<std::string>{"--pst",
                                             p.small_store("in/a.dbx", {"From: a@x\r\n\r\nx"}),
                                             p.small_store("in/b.dbx", {"From: b@x\r\n\r\nx"})};
         },
         2,
         {"morvale: $D/in/a.dbx exists; give --replace to replace it; nothing was written\n"},
         {}},
        {"--pst with its arguments swapped, --replace given: no input opened, no file",
         false,
         [](place& p) {
             return std::vector<std::string>{"--replace", "--pst",
                                             p.small_store("in/Inbox.dbx", {"From: a@x\r\n\r\nx"}),
                                             p.at("in/Inbox.pst")};
         },
         1,
         {"could not open the store $D/in/Inbox.pst"},
         {}},
        {"--pst onto a store inside a folder given",
         false,
         [](place& p) {
             p.small_store("in/mail/Inbox.dbx", {"From: a@x\r\n\r\nx"});
             return std::vector<std::string>{"--replace", "--pst", p.at("in/mail/Inbox.dbx"),
                                             p.at("in/mail")};
         },
         2,
         {"morvale: the file $D/in/mail/Inbox.dbx is the input $D/in/mail/Inbox.dbx; nothing was "
          "written\n"},
         {}},
        {"--carve --pst onto a segment of the image",
         false,
         [](place& p) {
             p.write("in/d.E03", std::string(1024, 'S'));
             return std::vector<std::string>{"--replace", "--carve", "--pst", p.at("in/d.E03"),
                                             p.write("in/d.E01", std::string(4096, '\0'))};
         },
         2,
         {"morvale: the file $D/in/d.E03 is the input $D/in/d.E03; nothing was written\n"},
         {}},
        {"an option where --pst takes its file",
         false,
         [](place& p) {
             return std::vector<std::string>{
                 "--pst", "--eml", p.small_store("in/st.dbx", {"From: a@x\r\n\r\nx"}), p.at("out")};
         },
         2,
         {"morvale: --pst needs a file\n"},
         [](place&, const outcome& run) {
             EXPECT_TRUE(run.written.empty());
             EXPECT_FALSE(fs::exists("--eml"));
         }},
        {"a file under a message's name, no --replace",
         false,
         [](place& p) {
             p.write("out/st/a@x_(no_receiver)_s.000002A0.eml", "keep me");
             return std::vector<std::string>{
                 "--eml", p.small_store("in/st.dbx", {"From: a@x\r\nSubject: s\r\n\r\nbody"}),
                 p.at("out")};
         },
         2,
         {"morvale: $D/out/st/a@x_(no_receiver)_s.000002A0.eml exists; it is not replaced\n",
          "morvale: 1 file was not replaced; give --replace to replace it\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(run.written.at("st/a@x_(no_receiver)_s.000002A0.eml"), "keep me");
         }},
        {"a file under a message's name, --replace given",
         false,
         [](place& p) {
             p.write("out/st/a@x_(no_receiver)_s.000002A0.eml", "replace me");
             return std::vector<std::string>{
                 "--replace", "--eml",
                 p.small_store("in/st.dbx", {"From: a@x\r\nSubject: s\r\n\r\nbody"}), p.at("out")};
         },
         0,
         {},
         [](place&, const outcome& run) {
             EXPECT_EQ(run.written.at("st/a@x_(no_receiver)_s.000002A0.eml"),
                       "From: a@x\r\nSubject: s\r\n\r\nbody");
         }},
        {"a manifest that exists already",
         false,
         [](place& p) {
             p.write("out/m.jsonl", "an earlier run's records\n");
             return std::vector<std::string>{"--manifest", p.at("out/m.jsonl"),
                                             p.small_store("in/st.dbx", {"From: a@x\r\n\r\nx"})};
         },
         2,
         {"morvale: $D/out/m.jsonl exists; give --replace to replace it; nothing was written\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(run.written.at("m.jsonl"), "an earlier run's records\n");
         }},
        {"mbox files of stores A and A (deleted)",
         false,
         [](place& p) {
             return std::vector<std::string>{
                 "--mbox", p.at("out"), p.generated_store("in/A.dbx", 5),
                 p.small_store("in/A (deleted).dbx", {"From: b@x\r\n\r\ny"})};
         },
         0,
         {"morvale: $D/out/A (deleted).mbox: another file of this run has the same name; its "
          "messages go to $D/out/A (deleted) (2).mbox\n"},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 3u);
             EXPECT_EQ(run.written.at("A (deleted) (2).mbox").substr(0, 25),
                       "From b@x Thu Jan  1 00:00");
             EXPECT_EQ(run.written.count("A.mbox"), 1u);
             EXPECT_EQ(run.written.count("A (deleted).mbox"), 1u);
         }},
        {"a PST temporary file left by a killed process of this id",
         false,
         [](place& p) {
             p.write("out/" + platform::next_temporary_name(".pst"), "half a file");
             return std::vector<std::string>{"--pst", p.at("out/m.pst"),
                                             p.small_store("in/st.dbx", {"From: a@x\r\n\r\nx"})};
         },
         0,
         {},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 1u);
             EXPECT_EQ(run.written.begin()->first, "m.pst");
         }},
        {"a manifest temporary file left by a killed process of this id",
         false,
         [](place& p) {
             p.write("out/" + platform::next_temporary_name("m.jsonl"), "half a file");
             return std::vector<std::string>{"--manifest", p.at("out/m.jsonl"),
                                             p.small_store("in/st.dbx", {"From: a@x\r\n\r\nx"})};
         },
         0,
         {},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 1u);
             EXPECT_EQ(run.written.begin()->first, "m.jsonl");
         }},
        {"control characters in a store's name, in the CSV",
         true,
         [](place& p) {
             return std::vector<std::string>{
                 "--manifest", p.at("m.csv"),
                 p.small_store("in/a\x1B[31m.dbx", {"From: a@x\r\n\r\nx"})};
         },
         0,
         {},
         [](place& p, const outcome&) {
             std::vector<std::string> lines = lines_of(read_file(p.dir.path() / "m.csv"));
             ASSERT_EQ(lines.size(), 2u);
             EXPECT_NE(lines[1].find("/in/a\\x1B[31m.dbx,"), std::string::npos) << lines[1];
         }},
        {"a sender beyond ASCII on the mbox From line",
         false,
         [](place& p) {
             return std::vector<std::string>{
                 "--mbox", p.at("out"),
                 p.small_store("in/st.dbx", {"From: J\xC3\xB6rg <j\xC3\xB6rg@x>\r\n\r\nx"})};
         },
         0,
         {},
         [](place&, const outcome& run) {
             EXPECT_EQ(run.written.at("st.mbox").substr(0, 45),
                       "From MAILER-DAEMON Thu Jan  1 00:00:00 1970\nF");
         }},
        {"a Date of year 0",
         false,
         [](place& p) {
             return std::vector<std::string>{
                 "--mbox", p.at("out"), "--manifest", p.at("m.jsonl"),
                 p.small_store("in/st.dbx",
                               {"From: a@x\r\nDate: Sat, 1 Jan 0000 00:00:00 +0000\r\n\r\nx"})};
         },
         0,
         {},
         [](place& p, const outcome& run) {
             EXPECT_EQ(run.written.at("st.mbox").substr(0, 34),
                       "From a@x Thu Jan  1 00:00:00 1970\n");
             std::vector<std::string> lines = lines_of(read_file(p.dir.path() / "m.jsonl"));
             ASSERT_EQ(lines.size(), 2u);
             EXPECT_EQ(nlohmann::json::parse(lines[1])["date_utc"], "");
             EXPECT_EQ(nlohmann::json::parse(lines[1])["date"], "Sat, 1 Jan 0000 00:00:00 +0000");
         }},
        {"message whose first block was written over",
         false,
         [](place& p) {
             std::string store =
                 p.small_store("in/st.dbx", {"From: a@x\r\nSubject: whole\r\n\r\nx",
                                             "ody of a message whose first block is gone\r\n"});
             return std::vector<std::string>{"--eml", "--manifest", p.at("m.jsonl"), store,
                                             p.at("out")};
         },
         0,
         {"morvale: 1 message whose start is unattested; see the manifest\n"},
         [](place& p, const outcome& run) {
             EXPECT_EQ(run.written.size(), 2u);
             std::vector<std::string> lines = lines_of(read_file(p.dir.path() / "m.jsonl"));
             ASSERT_EQ(lines.size(), 3u);  // the run's record, then the messages'
             auto store = nlohmann::json::parse(lines[0])["stores"][0];
             EXPECT_EQ(store["whole"], 1);
             EXPECT_EQ(store["start unattested"], 1);
             EXPECT_EQ(nlohmann::json::parse(lines[1])["integrity"], "whole");
             auto rest = nlohmann::json::parse(lines[2]);
             EXPECT_EQ(rest["integrity"], "start unattested");
             EXPECT_EQ(rest["integrity_detail"],
                       "start unattested: its first block begins \"ody of a message\"... (no "
                       "header field)");
             // A run that only lists counts it as well, from the rows the scan made.
             std::string said = capture_output([&] { morvale_run({p.at("in/st.dbx")}); }).err;
             EXPECT_NE(said.find("morvale: 1 message whose start is unattested\n"),
                       std::string::npos)
                 << said;
         }},
        {"split image with a missing middle segment",
         false,
         [](place& p) {
             std::string first = split_image(p);
             fs::remove(fs::u8path(p.at("in/disk.003")));
             return std::vector<std::string>{"--carve", "--eml", first, p.at("out")};
         },
         1,
         {"morvale: $D/in/disk.001: segment disk.003 is missing\n",
          "morvale: $D/in/disk.001: cannot read bytes 2048 to 3071: no segment of the image holds "
          "them\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(subjects_written(run), (std::vector<std::string>{"one", "two"}));
         }},
        {"split image with a short middle segment",
         false,
         [](place& p) {
             std::string first = split_image(p);
             std::string second = read_file(fs::u8path(p.at("in/disk.002")));
             p.write("in/disk.002", second.substr(0, 700));
             return std::vector<std::string>{"--carve", "--eml", first, p.at("out")};
         },
         1,
         {"morvale: $D/in/disk.001: segment disk.002 is 324 bytes shorter than disk.001\n",
          "cannot read bytes 1724 to 2047: no segment of the image holds them\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(subjects_written(run), (std::vector<std::string>{"one", "three"}));
         }},
        {"split image with a long middle segment",
         false,
         [](place& p) {
             std::string first = split_image(p);
             p.write("in/disk.002", read_file(fs::u8path(p.at("in/disk.002"))) + "0123456789");
             return std::vector<std::string>{"--carve", "--eml", first, p.at("out")};
         },
         1,
         {"morvale: $D/in/disk.001: segment disk.002 is 10 bytes longer than disk.001; they are "
          "not read\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(subjects_written(run), (std::vector<std::string>{"one", "three", "two"}));
         }},
        {"split image with an empty middle segment",
         false,
         [](place& p) {
             std::string first = split_image(p);
             p.write("in/disk.003", std::string());
             return std::vector<std::string>{"--carve", "--eml", first, p.at("out")};
         },
         1,
         {"morvale: $D/in/disk.001: segment disk.003 is empty\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(subjects_written(run), (std::vector<std::string>{"one", "two"}));
         }},
        {"split image with a folder for a segment",
         false,
         [](place& p) {
             std::string first = split_image(p);
             fs::remove(fs::u8path(p.at("in/disk.003")));
             fs::create_directory(fs::u8path(p.at("in/disk.003")));
             return std::vector<std::string>{"--carve", "--eml", first, p.at("out")};
         },
         1,
         {"morvale: $D/in/disk.001: segment disk.003: not a regular file\n"},
         [](place&, const outcome& run) {
             EXPECT_EQ(subjects_written(run), (std::vector<std::string>{"one", "two"}));
         }},
        {"digests of a split image's segments and data",
         false,
         [](place& p) {
             p.write("in/disk.001", std::string(512, 'a'));
             p.write("in/disk.002", std::string(512, 'b'));
             p.write("in/disk.003", std::string(100, 'c'));
             return std::vector<std::string>{"--carve", "--hash-inputs", "--manifest",
                                             p.at("m.jsonl"), p.at("in/disk.001")};
         },
         0,
         {},
         [](place& p, const outcome&) {
             auto input = nlohmann::json::parse(
                 lines_of(read_file(p.dir.path() / "m.jsonl"))[0])["inputs"][0];
             EXPECT_EQ(input["image_size"], 1124);
             EXPECT_EQ(input["image_read"], 1124);
             EXPECT_EQ(input["image_md5"], "2cef7bed26eac821916465941fe5739f");
             EXPECT_EQ(input["image_sha256"],
                       "0614a42bf7b549e9b5915ce0ccd431be69c2a2998d743af68dbf43a5d4324378");
             EXPECT_EQ(input["md5"], "56907396339ca2b099bd12245f936ddc");
             ASSERT_EQ(input["segments"].size(), 3u);
             EXPECT_EQ(input["segments"][1]["size"], 512);
             EXPECT_EQ(input["segments"][1]["md5"], "ba4f52e4d5d97c1bcfab88c6afe2cce6");
             EXPECT_EQ(input["segments"][2]["sha256"],
                       "bdcdc9e9204fe2099666b438af288629b1fa7f89797341bf7d435ce4ca2b706b");
         }},
        {"a NUL in a raw binary part before contract.pdf, as .msg",
         false,
         [](place& p) {
             std::string store = p.small_store("in/st.dbx", {contract_after_nul});
             return std::vector<std::string>{"--msg", store, p.at("out")};
         },
         0,
         {},
         [](place&, const outcome& run) {
             ASSERT_EQ(run.written.size(), 1u);
             cfb_file file = read_cfb(run.written.begin()->second);
             const cfb_entry* first =
                 file.find("__attach_version1.0_#00000000/__substg1.0_37010102");
             const cfb_entry* second =
                 file.find("__attach_version1.0_#00000001/__substg1.0_37010102");
             ASSERT_TRUE(first && second);
             EXPECT_EQ(first->data, std::string("AB\0CD", 5));
             EXPECT_EQ(second->data, "%PDF-1");
             EXPECT_EQ(string_property(file, "__attach_version1.0_#00000001", 0x3707001F),
                       u"contract.pdf");
         }},
        {"a zero-filled block in the text before contract.pdf, as PST",
         false,
         [](place& p) {
             std::string text =
                 "From: a@x\r\nSubject: zeros\r\nContent-Type: multipart/mixed; "
                 "boundary=b\r\n\r\n--b\r\n\r\nBefore" +
                 std::string(512, '\0') + "After" + contract_part;
             std::string store = p.small_store("in/st.dbx", {text});
             return std::vector<std::string>{"--pst", p.at("mail.pst"), store};
         },
         0,
         {},
         [](place& p, const outcome&) {
             std::string pst = read_file(p.dir.path() / "mail.pst");
             // The body without the zeros, the attachment's name (UTF-16LE) and bytes.
             const std::pair<const char*, std::string_view> kept[] = {
                 {"body", {"B\0e\0f\0o\0r\0e\0A\0f\0t\0e\0r\0", 22}},
                 {"name", {"c\0o\0n\0t\0r\0a\0c\0t\0.\0p\0d\0f\0", 24}},
                 {"data", "%PDF-1"}};
             for (auto [what, bytes] : kept) EXPECT_NE(pst.find(bytes), std::string::npos) << what;
         }},
    };
    return runs;
}

std::string with_folder(std::string text, const std::string& folder) {
    for (size_t at = 0; (at = text.find("$D/", at)) != std::string::npos; at += folder.size())
        text.replace(at, 3, folder);
    return text;
}

#ifndef _WIN32
bool is_root() {
    return geteuid() == 0;
}
#else
bool is_root() {
    return false;
}
#endif

TEST(hostile_run, EachRunEndsAsItShould) {
    for (const hostile_run& row : hostile_runs()) {
        SCOPED_TRACE(row.name);
#ifdef _WIN32
        if (row.needs_posix) continue;
#endif
        if (std::string(row.name).find("unreadable folder") != std::string::npos && is_root())
            continue;
        place where;
        std::vector<std::string> args = row.set_up(where);
        std::map<std::string, std::string> inputs = files_under(where.in);
        outcome run;
        platform::source_opener open = opener_with_faults(faults);
        auto captured = capture_output([&] { run.status = morvale_run(args, &open); });
        faults = {};
        run.out = captured.out;
        run.err = captured.err;
#ifdef _WIN32
        for (std::string* text : {&run.out, &run.err}) {
            for (size_t at = 0; (at = text->find("\r\n", at)) != std::string::npos;)
                text->erase(at, 1);
        }
        std::replace(run.err.begin(), run.err.end(), '\\', '/');  // paths made absolute
#endif
        run.written = files_under(where.out);
        EXPECT_EQ(run.status, row.status) << run.err;
        std::string folder = utf8_path(where.dir.path()) + "/";
        for (const std::string& said : row.said) {
            EXPECT_NE(run.err.find(with_folder(said, folder)), std::string::npos)
                << with_folder(said, folder) << "\n---\n"
                << run.err;
        }
        if (row.check) row.check(where, run);
        if (!row.changes_input) {
            EXPECT_TRUE(files_under(where.in) == inputs) << "an input changed";
        }
    }
}

}  // namespace
