#pragma once
// The chunks of a compressed image, decoded ahead of a reader that goes through them in
// order, on a second thread with a reader of its own, and the chunks decoded lately kept
// for reads that come back to them (a run reads each message again after the scan).
//
// The reader asks take() for each chunk it needs: it gets the chunk's bytes, or the chunk
// to decode itself and hand back with keep(). Requests for consecutive chunks make the
// next ones wanted ahead, more the longer they go on; step() decodes the first of them
// not yet decoded. The second thread runs step() whenever wait_for_work() lets it; a test calls
// step() itself, one chunk at a time.

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace platform {

// Whole chunks of an image, decoded.
class chunk_reader {
  public:
    virtual ~chunk_reader() = default;
    // Chunk `index` as `length` bytes into `into`; false when it cannot be read or is
    // damaged (the reader then decodes it itself, the way that says why).
    virtual bool read_chunk(uint64_t index, size_t length, std::vector<char>& into) = 0;
};

using chunk_bytes = std::shared_ptr<const std::vector<char>>;

class chunk_read_ahead {
  public:
    // An image of `size` bytes in chunks of `chunk_size`; up to `ahead` chunks are decoded
    // ahead of the reader and `kept` more are kept after it used them.
    chunk_read_ahead(uint64_t chunk_size, uint64_t size, size_t ahead, size_t kept);

    // The bytes of chunk `index`, waiting while the second thread decodes it; null when
    // the reader is to decode it itself and call keep() with what it got.
    chunk_bytes take(uint64_t index);
    // Hands back a chunk take() left to the reader: its bytes, or null when it could not
    // be decoded whole.
    void keep(uint64_t index, chunk_bytes bytes);

    // Decodes the first chunk wanted ahead that is not decoded yet; false when there is
    // none.
    bool step(chunk_reader& reader);
    // Waits until a chunk is wanted ahead or stop() is called; false once stopped.
    bool wait_for_work();
    void stop();

    // How many chunks step() decoded, and how many of them take() gave the reader.
    uint64_t decoded_ahead() const;
    uint64_t used_ahead() const;

  private:
    struct entry {
        chunk_bytes bytes;
        bool pending = true;                 // being decoded
        bool ahead = false;                  // decoded by step(), not yet taken
        std::list<uint64_t>::iterator used;  // its place in used_ once decoded
    };
    // The first chunk wanted ahead that is not decoded or being decoded; none when
    // nothing is wanted.
    std::optional<uint64_t> next_wanted() const;
    void settle(uint64_t index, chunk_bytes bytes, bool ahead);

    const uint64_t chunk_size_, size_, chunks_;
    const size_t ahead_, kept_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::unordered_map<uint64_t, entry> entries_;
    std::list<uint64_t> used_;    // decoded chunks, the latest used first
    uint64_t last_ = UINT64_MAX;  // the chunk asked for last
    uint64_t streak_ = 0;         // how many chunks before it were asked for in order
    bool stopped_ = false;
    uint64_t decoded_ahead_ = 0, used_ahead_ = 0;
};

}  // namespace platform
