#pragma once
// The properties of one object of a message file (the message, a recipient, an attachment):
// fixed-size values go into its property stream, strings and bytes into streams of their own.

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>

#include "msg/compound_file.h"

namespace msg {

class property_set {
  public:
    // Bytes the set makes (the property stream, strings on big-endian hosts) live in `owned`.
    property_set(compound_file& file, int storage, std::deque<std::string>& owned)
        : file_(file), storage_(storage), owned_(owned) {}

    void fixed(uint32_t tag, uint64_t value) { values_[tag] = value; }
    // Not copied: the text and bytes must stay alive until the file is written. Empty
    // values are left out (an empty string stream makes some readers refuse the file).
    void string(uint32_t tag, std::u16string_view text);
    void binary(uint32_t tag, std::string_view bytes);
    // A storage holding an object (an embedded message) under the name of `tag`.
    int object(uint32_t tag);

    // The property stream, after `header` (the counts the object's kind carries).
    void finish(std::string header);

  private:
    compound_file& file_;
    int storage_;
    std::deque<std::string>& owned_;
    std::map<uint32_t, uint64_t> values_;  // ordered by tag, so the output never varies
};

std::u16string ascii(const char* s);
void put_le(std::string& out, uint64_t value, int bytes);

}  // namespace msg
