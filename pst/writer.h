#pragma once
// A Unicode Personal Folders file (.pst) written as messages come: a message store, its root
// folder, the top of the personal folders with Outlook's special folders (Inbox, Outbox,
// Sent Items, Deleted Items, Drafts) and folders below it, each message an item written as
// it is added. Tables and indexes are completed by finish().

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "item/item.h"
#include "pst/output.h"

namespace pst {

class pst_writer {
  public:
    // `display_name` names the store in Outlook's folder list; `identity` is hashed into the
    // store's record key (the same input gives the same file).
    pst_writer(pst_output& out, std::u16string_view display_name, std::string_view identity);
    ~pst_writer();

    using folder_id = uint32_t;
    folder_id top() const;  // the top of the personal folders
    // A new folder below `parent`, whatever stands there.
    folder_id add_folder(folder_id parent, std::u16string_view name);
    // The folder at `path` below the top, each name one level down, made where missing. A
    // folder already standing beside it under the same name (letters compared without case,
    // as Outlook allows no two such folders side by side) is that folder: a first name of
    // "Inbox", "Outbox", "Sent Items", "Deleted Items" or "Drafts" is the file's own.
    folder_id folder(const std::vector<std::u16string>& path);
    // False when a write fails.
    bool add_message(folder_id folder, const item::message& message);
    bool finish();

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

}  // namespace pst
