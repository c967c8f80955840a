#pragma once
// What Outlook keeps of every message besides what its text says: when the item was made and
// last changed, the keys that find it and its sender again, its conversation and the code
// page of its bodies. Added to an item once it is built, whatever file will hold it.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "item/item.h"

namespace item {

// Adds to `message` (and to each message attached to it): creation and modification times
// (its date; `undated_time`, a FILETIME, when it has none), search key, the sender's and
// sent-representing entry ids and search keys, conversation topic and index, and message
// code page (its bodies' code page).
void add_identity(message& message, uint64_t undated_time);

// The run's time as a FILETIME, the same for every call of one run: the seconds of the
// environment's SOURCE_DATE_EPOCH when it holds a number (so that two runs can make the same
// files), else the clock's when first asked.
uint64_t run_filetime();

// The 16 bytes of the MD5 of the pieces, one after the other: a key of the same length every
// time.
std::string md5_key(std::initializer_list<std::string_view> pieces);

// The one-off entry id of an address ([MS-OXCDATA] 2.2.5.1): its display name, address type
// and address as Unicode text.
std::string one_off_entry_id(std::u16string_view name, std::u16string_view address_type,
                             std::u16string_view address);

// The subject without its prefix ("RE: ", "Fw: "): at most three characters, none a digit or
// blank, then a colon and a space.
std::u16string normalized_subject(std::u16string_view subject);

}  // namespace item
