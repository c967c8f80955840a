#pragma once
// Where the bytes of a Personal Folders file go: mostly in order, with the header and the
// allocation maps written back over space left for them.

#include <cstdint>
#include <string_view>

namespace pst {

class pst_output {
  public:
    virtual ~pst_output() = default;
    // False when the write fails (errno set).
    virtual bool write_at(uint64_t offset, std::string_view bytes) = 0;
};

}  // namespace pst
