#pragma once
// An Outlook message file (.msg) for one item of the built-in store.

#include <optional>
#include <string>
#include <string_view>

#include "msg/compound_file.h"
#include "msg/item.h"

namespace msg {

// The whole RFC 822 message as bytes. Bytes given as such are held as they are; bytes
// taken back from the text the writer hands over (see message_bytes) are written over that
// text's own storage, a piece behind the reading, so a large message needs no second
// buffer of its size.
class message_text {
  public:
    message_text& operator=(std::string bytes);
    void take_back(std::u16string text);
    explicit operator bool() const { return present_; }
    std::string_view bytes() const;

  private:
    bool taken_back_in_place(size_t& stopped_at);
    void restore_text(size_t read_up_to);

    bool present_ = false;
    std::string bytes_;
    std::u16string storage_;  // holds the bytes in its first `length_` bytes when not empty
    size_t length_ = 0;
};

// What the calls on an item set. The sender, the dates, the header block, the message id,
// the bodies and the attachments come from the text.
struct message_item {
    std::optional<std::u16string> to;
    std::optional<std::u16string> subject;
    message_text text;
    bool sent = false;
};

// The message bytes behind the text the writer hands over: it read them through the ANSI
// code page, so they are taken back that way. A text with characters the code page lacks
// did not come that way and is read as UTF-8.
std::string message_bytes(std::u16string_view text);

// The item a message file holds: made from the MIME parts of the message `bytes`, every one
// of them, with the receivers and the subject as the calls set them (text the ANSI code
// page made of the raw values; none when not set). The parts view the bytes; the item owns
// what it takes.
item build_item(std::string_view bytes, const std::optional<std::u16string>& to,
                const std::optional<std::u16string>& subject, bool sent);
item build_item(const message_item& message);

// Writes the item's .msg bytes to `sink`; false when the sink fails.
bool write_message(const item& built, const byte_sink& sink);
bool write_message(const message_item& item, const byte_sink& sink);

// Writes the item as a new .msg file at `path` (never through a link, never onto what
// stands there). Empty when written, else why not ("cannot write PATH: reason").
std::string write_message_file(const item& built, const std::string& path);

}  // namespace msg
