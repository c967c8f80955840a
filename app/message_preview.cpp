#include "app/message_preview.h"

#include <cstring>
#include <utility>

#include "app/message_source.h"
#include "app/wide_text.h"
#include "header/date.h"
#include "header/decode.h"
#include "header/summary.h"
#include "mime/attachment_names.h"
#include "mime/content.h"
#include "mime/html_text.h"
#include "mime/reader.h"
#include "platform/byte_layout.h"
#include "platform/fs.h"
#include "platform/text.h"

namespace {

// The pane is an edit control: it wants CR LF line ends and stops at a NUL.
std::wstring as_pane_text(const std::wstring& text) {
    std::wstring out;
    out.reserve(text.size() + text.size() / 32);
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        if (c == L'\r') {
            out += L"\r\n";
            if (i + 1 < text.size() && text[i + 1] == L'\n') ++i;
        } else if (c == L'\n') {
            out += L"\r\n";
        } else {
            out += c == L'\0' ? L' ' : c;
        }
    }
    return out;
}

// A text longer than the pane shows is cut, and says so.
std::wstring cut(std::wstring text, size_t limit) {
    if (text.size() <= limit) return text;
    text.resize(limit);
    return text +
           L"\r\n\r\n[... the rest of the text is not shown here: open the message to read it all]";
}

std::wstring size_text(size_t bytes) {
    wchar_t text[32];
    if (bytes < 1024) return std::to_wstring(bytes) + L" bytes";
    if (bytes < 1024 * 1024) {
        swprintf(text, 32, L"%.1f KB", bytes / 1024.0);
    } else {
        swprintf(text, 32, L"%.1f MB", bytes / (1024.0 * 1024.0));
    }
    return text;
}

// The part with no more of its body than a pane's worth of text can come from: its first
// screens show at once however long it is.
mime::mime_part first_of(const mime::mime_part& part, size_t limit) {
    mime::mime_part shortened = part;
    size_t bytes = limit * 4;
    if (shortened.body.size() > bytes) shortened.body = shortened.body.substr(0, bytes);
    return shortened;
}

std::wstring body_text(const mime::message_content& content, size_t limit) {
    if (content.text != nullptr)
        return to_wide(mime::part_text_utf8(first_of(*content.text, limit)));
    if (content.html != nullptr)
        return to_wide(mime::html_to_text(mime::part_text_utf8(first_of(*content.html, limit))));
    return L"";
}

// The last Cc field of the header, as written.
std::optional<std::string> cc_field(std::string_view header) {
    std::optional<std::string> cc;
    mime::walk_header_fields(header, [&cc](const std::string& name, const std::string& value) {
        if (platform::equal_ignoring_case(name, "cc")) cc = value;
    });
    return cc;
}

void add_line(std::wstring& text, const wchar_t* label, const std::optional<std::string>& value) {
    if (!value) return;
    text += label;
    text += to_wide(hdr_decode_text(*value));
    text += L"\n";
}

}  // namespace

std::wstring local_date_text(int64_t seconds) {
    ULARGE_INTEGER ticks;
    ticks.QuadPart = platform::filetime_of(seconds);
    FILETIME utc{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME universal, local;
    if (!FileTimeToSystemTime(&utc, &universal) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return L"";
    }
    wchar_t date[128] = {}, time[64] = {};
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 128);
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 64);
    return std::wstring(date) + L" " + time;
}

preview_parts preview_text(const std::string& message, bool fragment, bool with_sizes,
                           size_t body_limit) {
    if (fragment) {
        return {L"Deleted fragment: its text as found in the store.",
                {},
                cut(as_pane_text(to_wide(hdr_raw_to_utf8(message))), body_limit)};
    }
    const char* start = message.c_str();
    hdr_main_values fields = hdr_main_fields(start, start + std::strlen(start));
    mime::mime_part root = mime::read_mime_message(message);
    std::wstring text;
    add_line(text, L"From:\t", fields[hdr_from]);
    add_line(text, L"To:\t", fields[hdr_to]);
    add_line(text, L"Cc:\t", cc_field(root.header));
    if (fields[hdr_date]) {
        std::optional<int64_t> date = hdr_message_date(fields);
        std::wstring shown = date ? local_date_text(*date) : L"";
        text += L"Date:\t" + (shown.empty() ? to_wide(hdr_decode_text(*fields[hdr_date])) : shown) +
                L"\n";
    }
    add_line(text, L"Subject:\t", fields[hdr_subject]);
    mime::message_content content = mime::sort_parts(root);
    preview_parts parts;
    if (!content.attachments.empty()) {
        text += L"Attachments:\n";
        for (size_t i = 0; i < content.attachments.size(); ++i) {
            const mime::mime_part& part = *content.attachments[i];
            std::wstring shown = to_wide(mime::name_attachment(part, i).long_name);
            if (with_sizes) {
                std::string storage;
                shown += L" (" + size_text(mime::decoded_body(part, storage).size()) + L")";
            }
            parts.attachments.push_back(as_pane_text(shown));
        }
    }
    if (!text.empty() && text.back() == L'\n') text.pop_back();
    parts.header = as_pane_text(text);
    parts.body = cut(as_pane_text(body_text(content, body_limit)), body_limit);
    return parts;
}

std::optional<attachment_file> attachment_of(const std::string& message, size_t index) {
    mime::mime_part root = mime::read_mime_message(message);
    mime::message_content content = mime::sort_parts(root);
    if (index >= content.attachments.size()) return std::nullopt;
    const mime::mime_part& part = *content.attachments[index];
    std::string storage;
    std::string_view bytes = mime::decoded_body(part, storage);
    return attachment_file{mime::name_attachment(part, index).long_name, std::string(bytes)};
}

std::wstring state_lines(const message_row& row) {
    std::wstring lines;
    if (!row.state.folder.empty()) lines += L"Folder:\t" + to_wide(row.state.folder) + L"\r\n";
    if (row.state.received) {
        std::wstring when = local_date_text(*row.state.received);
        if (!when.empty()) lines += L"Received:\t" + when + L"\r\n";
    }
    return lines;
}

message_preview::message_preview(HWND window, UINT ready_message)
    : window_(window), ready_message_(ready_message), thread_([this] { work(); }) {}

message_preview::~message_preview() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        ending_ = true;
        next_.reset();
    }
    wake_.notify_all();
    thread_.join();
}

uint64_t message_preview::request(const std::wstring& store_path, const message_row& row,
                                  int engine_index) {
    std::lock_guard<std::mutex> hold(lock_);
    next_ = job{store_path, row, engine_index, ++latest_, false};
    made_.reset();
    wake_.notify_all();
    return latest_;
}

void message_preview::prepare(const std::wstring& store_path) {
    std::lock_guard<std::mutex> hold(lock_);
    if (next_) return;
    next_ = job{store_path, {}, 0, latest_, true};
    wake_.notify_all();
}

void message_preview::forget_store() {
    std::lock_guard<std::mutex> hold(lock_);
    forget_ = true;
    next_.reset();
    made_.reset();
    ++latest_;
    wake_.notify_all();
}

std::optional<preview_parts> message_preview::take(uint64_t number) {
    std::lock_guard<std::mutex> hold(lock_);
    if (!made_ || made_->first != number || number != latest_) return std::nullopt;
    return std::exchange(made_, std::nullopt)->second;
}

void message_preview::work() {
    message_source source;  // this thread's own scan of the store
    for (;;) {
        job next;
        {
            std::unique_lock<std::mutex> hold(lock_);
            wake_.wait(hold, [this] { return ending_ || forget_ || next_.has_value(); });
            if (ending_) return;
            if (forget_) {
                source.forget_store();
                forget_ = false;
                if (!next_) continue;
            }
            next = std::move(*next_);
            next_.reset();
        }
        if (next.prepare_only) {
            source.prepare(next.store_path);
            continue;
        }
        auto still_wanted = [this, &next] {
            std::lock_guard<std::mutex> hold(lock_);
            return !ending_ && latest_ == next.number;
        };
        auto hand_over = [this, &next](preview_parts text) {
            {
                std::lock_guard<std::mutex> hold(lock_);
                if (latest_ != next.number) return;
                made_.emplace(next.number, std::move(text));
            }
            PostMessageW(window_, ready_message_, WPARAM(next.number), 0);
        };
        // The first screens come from the message's start; a longer message is then read
        // whole for its attachments and their sizes.
        std::wstring error;
        bool fragment = next.row.list == 1;
        std::optional<std::string> start =
            source.read_start(next.store_path, next.row, next.engine_index, first_look, error);
        if (!start) {
            hand_over({L"", {}, error});
            continue;
        }
        bool whole = start->size() < first_look;
        std::wstring state = state_lines(next.row);
        preview_parts first = preview_text(*start, fragment, whole, body_limit);
        first.header.insert(0, state);
        hand_over(std::move(first));
        if (whole || fragment || !still_wanted()) continue;
        std::optional<message_read> message =
            source.read(next.store_path, next.row, next.engine_index, error);
        if (!message || !still_wanted()) continue;
        preview_parts with_sizes = preview_text(*message->text, false, true, body_limit);
        with_sizes.header.insert(0, state);
        hand_over(std::move(with_sizes));
    }
}
