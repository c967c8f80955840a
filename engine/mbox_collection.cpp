#include "engine/mbox_collection.h"

#include <cerrno>
#include <cstring>

#include "engine/read_message.h"
#include "engine/store_state.h"
#include "engine/sys.h"
#include "header/date.h"
#include "mime/address_list.h"
#include "mime/content.h"
#include "mime/reader.h"
#include "platform/fs.h"
#include "platform/output_file.h"
#include "platform/text.h"

namespace {

// The sender's bare address, when it can stand in a "From " line: one word of visible
// ASCII characters.
std::optional<std::string> sender_address(const std::optional<std::string>& from) {
    if (!from) return std::nullopt;
    std::vector<mime::mailbox> boxes = mime::parse_address_list(*from);
    if (boxes.empty() || boxes.front().address.empty()) return std::nullopt;
    for (unsigned char c : boxes.front().address) {
        if (c <= ' ' || c >= 0x7F) return std::nullopt;  // the line is ASCII
    }
    return boxes.front().address;
}

// True when the line at `at` reads ">*From ".
bool is_from_line(std::string_view message, size_t at) {
    while (at < message.size() && message[at] == '>') ++at;
    return message.compare(at, 5, "From ") == 0;
}

}  // namespace

mbox_sender mbox_sender_of(std::string_view message) {
    mime::header_facts facts = mime::read_header_facts(message.substr(0, mime::mime_header_limit));
    std::optional<int64_t> date = facts.date;
    if (date && !hdr_in_calendar_years(*date)) date.reset();  // the line could not write it
    return {sender_address(facts.from), date};
}

std::string mbox_from_line(const mbox_sender& sender) {
    return "From " + sender.address.value_or("MAILER-DAEMON") + " " +
           hdr_asctime_utc(sender.date.value_or(0)) + "\n";
}

std::string mbox_body(std::string_view message) {
    std::string body;
    body.reserve(message.size() + 2);
    for (size_t at = 0; at < message.size();) {
        size_t end = message.find('\n', at);
        end = end == std::string_view::npos ? message.size() : end + 1;
        if (is_from_line(message, at)) body += '>';
        body.append(message.substr(at, end - at));
        at = end;
    }
    if (!body.empty() && body.back() != '\n') body += '\n';
    body += '\n';
    return body;
}

mbox_collection::mbox_collection(std::string folder) : folder_(std::move(folder)) {}

mbox_collection::~mbox_collection() = default;  // files not completed are removed

std::optional<message_collection::folder_id> mbox_collection::folder(
    const std::vector<std::string>& store_folder, int list) {
    // A store's files are complete once the run asks for another store's.
    if (!open_.empty() && open_.begin()->second->store_folder != store_folder && !finish())
        return std::nullopt;
    std::string relative;
    for (size_t i = 0; i + 1 < store_folder.size(); ++i)
        relative += (i ? "/" : "") + store_folder[i];
    if (!relative.empty() && platform::make_folders_below(folder_.c_str(), relative) != 0) {
        std::fprintf(stderr, "morvale: %s: %s\n",
                     platform::printable(in_folder(folder_.c_str(), relative)).c_str(),
                     errno == ELOOP ? "a link is on the way" : std::strerror(errno));
        return std::nullopt;
    }
    std::string name = store_folder.empty() ? "_" : store_folder.back();
    std::string path = unique_path((relative.empty() ? "" : relative + "/") + name +
                                   (list == 1 ? " (deleted)" : ""));
    auto file = std::make_unique<mbox_file>();
    file->store_folder = store_folder;
    if (!file->file.open(path, "mbox")) return std::nullopt;
    folder_id id = static_cast<folder_id>(places_.size());
    places_.push_back(path);
    open_[id] = std::move(file);
    return id;
}

// A store's files are named after it, and its deleted fragments' file with " (deleted)":
// that may be the name of another store's file ("A (deleted).dbx"). A name another file of
// the run took (compared ignoring case, as Windows compares names) gets " (2)" and on, said
// on standard error.
std::string mbox_collection::unique_path(const std::string& relative) {
    std::string unique = platform::take_unique_name(taken_, relative);
    std::string path = in_folder(folder_.c_str(), unique + ".mbox");
    if (unique != relative) {
        std::fprintf(stderr,
                     "morvale: %s: another file of this run has the same name; its "
                     "messages go to %s\n",
                     platform::printable(in_folder(folder_.c_str(), relative + ".mbox")).c_str(),
                     platform::printable(path).c_str());
        std::fflush(stderr);
    }
    return path;
}

std::string mbox_collection::place(folder_id folder) const {
    return places_.at(folder);
}

bool mbox_collection::add(folder_id folder, const chain_record& record) {
    auto found = open_.find(folder);
    if (found == open_.end()) return false;
    mbox_file& file = *found->second;
    // A fragment is held from its header on, as its item is read: the free list's word before
    // it is no message text, and mbox readers (formail) take a message only from a field on.
    std::string_view message = item_text(*record.bytes, record.list == 1);
    mbox_sender sender = mbox_sender_of(message);
    std::string from = mbox_from_line(sender);
    if (status_lines && record.index_entry) from += mbox_status_lines(*record.index_entry, message);
    std::string body = mbox_body(message);
    FILE* stream = file.file.stream();
    if (std::fwrite(from.data(), 1, from.size(), stream) != from.size() ||
        std::fwrite(body.data(), 1, body.size(), stream) != body.size()) {
        int error = errno;
        std::fprintf(stderr, "morvale: %s: %s\n", platform::printable(file.file.path()).c_str(),
                     std::strerror(error));
        std::fflush(stderr);
        file.file.discard();
        return false;
    }
    if (sender.date && (!file.newest || *sender.date > *file.newest)) file.newest = sender.date;
    return true;
}

bool mbox_collection::finish() {
    bool all = true;
    for (auto& [id, file] : open_) all = file->file.complete(file->newest) && all;
    open_.clear();
    return all;
}
