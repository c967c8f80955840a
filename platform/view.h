#pragma once
// What the engine and the message summary do to the main dialog. The Windows dialog
// implements it with list-view and progress-bar messages, the command line on the
// console, and the tests with a recorder.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

class main_view {
  public:
    virtual ~main_view() = default;

    // The message list (columns 0 "From", 1 "E-mail Subject", 2 "To", 3 "Date").
    virtual int item_count() = 0;
    // Inserts a row at `index` with text "" and image 1.
    virtual void insert_item(int index) = 0;
    virtual void set_item_text(int item, int subitem, const std::u16string& text) = 0;
    // The cell as bytes of the ANSI code page, up to a NUL byte: set_item_text with them
    // converted, unless the list keeps its cells in a form it makes from the bytes.
    virtual void set_item_ansi_text(int item, int subitem, std::string_view bytes);
    // The same cell of From, E-mail Subject or To decoded for people to read (UTF-8),
    // given right after set_item_text. The cell keeps the value as written; a list that
    // can show the decoded value instead keeps it, the others ignore it.
    virtual void set_item_decoded_text(int item, int subitem, const std::string& text) {}
    // True for a list that keeps the decoded cells: the others are spared the decoding.
    virtual bool keeps_decoded_text() { return false; }

    // The progress bar (control 1007); its range stays 0 to 100.
    virtual void set_progress(int position) = 0;

    // A message box owned by the dialog; `flags` are the Win32 MB_ flags. Text is UTF-8.
    virtual int message_box(const std::string& text, const std::string& title, unsigned flags) = 0;

    // The rows inserted from now on show chain `chain` of list `list` (0 messages, 1
    // deleted fragments); said before each chain a run lists or saves.
    virtual void chain_begins(int list, int chain) {}
    // How many chains the run lists or saves in all, said once the scan has ended and
    // before the first chain_begins: a view may show one share done over scan and chains.
    virtual void chains_to_handle(int count) {}

    // A message the scan has just found, while the store is read and before its chains are
    // known: its header's From, E-mail Subject, To and Date as far as the blocks at hand go
    // (bytes as stored; absent where the header has no such field). A view may list it until
    // the chains' own rows replace it. Said only during the scan of a run that lists.
    virtual void message_found(int list,
                               const std::array<std::optional<std::string_view>, 4>& cells) {}

    // What the store's own index and its folder tree say of the chain begun, said right
    // after chain_begins for a store that has either: whether the index names the chain, its
    // flags word there as stored, when it was received (seconds since 1970), and the folders
    // from the top down to the store (UTF-8, '/' between).
    virtual void chain_state(bool indexed, uint32_t flags, std::optional<int64_t> received,
                             const std::string& folder) {}

    // Called by a run between two messages and every few thousand scan positions.
    // Blocks while the run is paused. Returns false once the run is abandoned, and keeps
    // returning false for the rest of that run: the run then stops where it stands,
    // touches the dialog no more and writes nothing more.
    virtual bool checkpoint() { return true; }

    // Bytes of the store that could not be read ("cannot read bytes A to B: reason"), said
    // once each as the run finds them. The engine says them on standard error as well; the
    // dialog lists them in one box when the run ends.
    virtual void unreadable_bytes(const std::string& store, const std::string& what) {}
};

// The one main dialog; null when there is none (the scan then runs unobserved).
extern main_view* main_dialog;

// The checkpoint of the current run: true (go on) when there is no main dialog.
inline bool run_checkpoint() {
    return main_dialog == nullptr || main_dialog->checkpoint();
}
