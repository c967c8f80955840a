#pragma once
// The routines inside one extraction run.

#include <cstdint>
#include <optional>
#include <string>

#include "dbx/dbx.h"
#include "header/summary.h"
#include "platform/view.h"

// Working-directory and folder calls with the engine's results (-1 on failure).
std::optional<std::string> sys_getcwd();
int sys_chdir(const char* path);
int sys_mkdir(const char* parent, const char* name);

// The path of `name` inside `folder`.
std::string in_folder(const char* folder, const std::string& name);

// The output folder of a save run: the target without a final ".dbx" (any case).
std::string output_folder(const std::string& target);

// One chain read from the store, summarised, and named.
struct message_read {
    std::optional<std::string> text;  // the message bytes; none when the chain gave none
    int64_t date = 0;
    std::string name;
    hdr_raw_fields raw;  // Subject, From and To as written, for the .msg writer
};
message_read _read_message(main_view* dialog, dbx_t* store, int list, int chain, int mode);

// The file name of a message: sender, receiver, subject, the head block's offset and the
// extension of the run mode, fitted to what file systems accept.
std::string message_file_name(const std::optional<std::string>& from,
                              const std::optional<std::string>& to,
                              const std::optional<std::string>& subject, uint32_t offset, int mode);

// 1 when saved, 2 when the message failed. A failed .msg conversion throws. The .msg
// item gets the raw subject and receiver of `raw`.
int _save_message(const char* folder, const std::string& text, const std::string& name, int mode,
                  const hdr_raw_fields& raw);

void _set_message_time(const char* folder, const std::string& name, int64_t date);

struct recover_totals {
    int errors = 0;
    bool abandoned = false;
};
recover_totals _recover(main_view* dialog, dbx_t* store, const char* folder, int mode);
