#pragma once
// A Unicode Personal Folders file (.pst) written as messages come: a message store, its root
// folder, the top of the personal folders and folders below it, each message an item
// written as it is added. Tables and indexes are completed by finish().

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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
    folder_id add_folder(folder_id parent, std::u16string_view name);
    // False when a write fails.
    bool add_message(folder_id folder, const item::message& message);
    bool finish();

  private:
    struct impl;
    std::unique_ptr<impl> impl_;
};

}  // namespace pst
