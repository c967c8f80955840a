#pragma once
// Shared set-up of the engine tests: a throw-away folder, a store made by the generator,
// a recording main dialog, and the run's output split from the scan's progress line.

#include <gtest/gtest.h>

#include <string>

#include "engine/engine.h"
#include "support/capture.h"
#include "support/recording_view.h"
#include "support/temp_dir.h"
#include "tools/dbxgen/dbxgen.h"

// The separator the command line puts between a folder and a store name.
#ifdef _WIN32
inline const std::string separator = "\\";
#else
inline const std::string separator = "/";
#endif

// A message with the given header fields and a short body, CRLF line ends.
std::string mail(const std::string& from, const std::string& to, const std::string& subject,
                 const std::string& date = "Tue, 15 Nov 1994 08:12:31 GMT");

// A live message from Ann to Bob, "Hi", at 0x2A0 and a freed fragment at 0x800.
dbxgen::store_image one_message_and_one_fragment();

// The bytes of a file; empty when it cannot be read.
std::string file_bytes(const std::string& path);

// Seconds since 1970 of a file's last modification.
int64_t modification_time(const std::string& path);

// The names of the regular files in a folder, sorted.
std::vector<std::string> files_in(const std::string& folder);

struct run_result {
    int status = 0;
    run_outcome outcome;
    std::string scan;  // the scan's progress line
    std::string out;   // standard output after it
    std::string err;
};

class engine_test : public testing::Test {
  protected:
    engine_test();
    ~engine_test() override;

    // Writes the image as `name` in the test folder and returns its path.
    std::string write_store(dbxgen::store_image& image, const std::string& name = "Inbox.dbx");
    // Writes a generated store of `messages` messages and `deleted` fragments as `name` in
    // the test folder; its size in `*size` when asked.
    std::string write_generated_store(uint64_t seed, int messages, int deleted,
                                      const std::string& name, int64_t* size = nullptr);
    // One run of the engine: mode 0 lists only, 1 saves .eml, 2 saves .msg into `folder`.
    run_result run(const std::string& store, int mode, const std::string& folder = "",
                   const platform::source_opener* open = nullptr);

    temp_dir dir;
    recording_view view;
    std::string start_directory;

  private:
    scoped_main_dialog dialog_{&view};
};
