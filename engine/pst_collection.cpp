#include "engine/pst_collection.h"

#include <cerrno>
#include <cstring>

#include "engine/read_message.h"
#include "engine/store_state.h"
#include "header/summary.h"
#include "platform/fs.h"
#include "platform/text.h"

#ifdef _WIN32
#define seek_to _fseeki64
#else
#define seek_to fseeko
#endif

pst_collection::pst_collection() = default;

pst_collection::~pst_collection() = default;  // a file not finished is removed

bool pst_collection::open(const std::string& path, const std::string& identity,
                          bool replace_existing) {
    if (!file_.open(path, "pst", replace_existing)) return false;
    // The store is named after the file, as Outlook names a data file it opens.
    std::string name = platform::file_name_of(path);
    size_t point = name.rfind('.');
    if (point != std::string::npos && point > 0) name.resize(point);
    writer_ = std::make_unique<pst::pst_writer>(static_cast<pst::pst_output&>(*this),
                                                platform::utf8_to_utf16(name), identity);
    return true;
}

// Most writes follow the one before: only a write elsewhere seeks, which would empty the
// stream's buffer each time.
bool pst_collection::write_at(uint64_t offset, std::string_view bytes) {
    FILE* stream = file_.stream();
    if (stream == nullptr) return false;
    if (offset != position_ && seek_to(stream, static_cast<int64_t>(offset), SEEK_SET) != 0)
        return false;
    position_ = offset + bytes.size();
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size()) return true;
    position_ = UINT64_MAX;  // where the stream stands is not known
    return false;
}

// Says that the file could not be written and removes what was begun.
bool pst_collection::failed_write() {
    int error = errno;
    std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(file_.path()).c_str(),
                 std::strerror(error ? error : EIO));
    std::fflush(stderr);
    writer_.reset();
    file_.discard();
    return false;
}

std::optional<message_collection::folder_id> pst_collection::folder(
    const std::vector<std::string>& store_folder, int list) {
    if (!writer_) return std::nullopt;
    std::vector<std::string> names = store_folder;
    if (list == 1) names.push_back("deleted");
    auto found = folders_.find(names);
    if (found != folders_.end()) return found->second;
    // A store named as one of Outlook's special folders (Inbox, Deleted Items, ...) goes
    // into the file's own folder of that name.
    std::vector<std::u16string> path;
    std::string place;
    for (const std::string& name : names) {
        path.push_back(platform::utf8_to_utf16(name));
        place += (place.empty() ? "" : "/") + name;
    }
    folder_id id = writer_->folder(path);
    folders_.emplace(names, id);
    places_.emplace(id, place);
    return id;
}

std::string pst_collection::place(folder_id folder) const {
    auto found = places_.find(folder);
    return found == places_.end() ? std::string() : found->second;
}

// The item is the one the message's .msg file holds: made from every byte of the message
// and the same raw receivers and subject.
bool pst_collection::add(folder_id folder, const chain_record& record) {
    if (!writer_) return false;
    item::message message = _message_item(*record.bytes, record.list == 1, record.raw);
    if (record.index_entry) item::set_message_state(message, item_state_of(*record.index_entry));
    errno = 0;
    if (!writer_->add_message(folder, message)) return failed_write();
    return true;
}

bool pst_collection::finish() {
    if (!writer_) return false;
    errno = 0;
    if (!writer_->finish()) return failed_write();
    writer_.reset();
    return file_.complete(std::nullopt);
}
