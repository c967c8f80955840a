#include "app/message_source.h"

#include <cstdio>

#include "app/wide_text.h"
#include "platform/fs.h"
#include "platform/text.h"
#include "platform/view.h"

namespace {

// Takes the one row the summary makes while the message is read again.
class row_catcher : public main_view {
  public:
    int item_count() override { return 1; }
    void insert_item(int) override {}
    void set_item_text(int, int column, const std::u16string& text) override {
        if (column >= 0 && column < 4) cells[size_t(column)] = text;
    }
    void set_progress(int) override {}
    int message_box(const std::string&, const std::string&, unsigned) override { return 1; }

    std::array<std::u16string, 4> cells;
};

// The chain of a row that does not know it: the rows come list by list, each chain in order.
bool locate(const dbx_t& store, int row, int& list, int& chain) {
    list = 0;
    chain = row;
    if (chain >= store.lists[0].chain_count) {
        chain -= store.lists[0].chain_count;
        list = 1;
    }
    return chain >= 0 && chain < store.lists[list].chain_count;
}

}  // namespace

void message_source::store_closer::operator()(dbx_t* store) const {
    dbx_close(store);
}

bool message_source::have_store(const std::wstring& store_path) {
    std::string path = to_utf8(store_path);
    if (store_ && store_path_ == store_path) return dbx_reopen_file(store_.get());
    store_.reset(dbx_open(path.c_str()));
    store_path_ = store_path;
    return store_ != nullptr;
}

bool message_source::prepare(const std::wstring& store_path) {
    if (!have_store(store_path)) return false;
    dbx_close_file(store_.get());
    return true;
}

template <class Reader>
bool message_source::read_row(const std::wstring& store_path, const message_row& row,
                              int engine_index, std::wstring& error, Reader read) {
    if (!have_store(store_path)) {
        error = L"The store " + store_path + L" cannot be read any more.";
        return false;
    }
    if (row.found) {
        error =
            L"This row was listed while the store was read. Scan the store again to open "
            L"its message.";
        return false;
    }
    int list = row.list, chain = row.chain;
    bool found = chain >= 0 ? list >= 0 && list < 2 && chain < store_->lists[list].chain_count
                            : locate(*store_, engine_index, list, chain);
    row_catcher catcher;
    bool read_well = found && read(store_.get(), list, chain, catcher);
    dbx_close_file(store_.get());
    if (!read_well || catcher.cells != row.cells) {
        store_.reset();  // the store changed since the run: scan it anew next time
        error = L"This message is no longer where it was found in " + store_path +
                L": the store has changed. Scan it again.";
        return false;
    }
    return true;
}

std::optional<message_read> message_source::read(const std::wstring& store_path,
                                                 const message_row& row, int engine_index,
                                                 std::wstring& error) {
    message_read message;
    auto whole = [&message](dbx_t* store, int list, int chain, main_view& catcher) {
        message = _read_message(&catcher, store, list, chain, 1);
        return message.text.has_value();
    };
    if (!read_row(store_path, row, engine_index, error, whole)) return std::nullopt;
    return message;
}

std::optional<std::string> message_source::read_start(const std::wstring& store_path,
                                                      const message_row& row, int engine_index,
                                                      size_t bytes, std::wstring& error) {
    std::optional<std::string> text;
    auto start = [&text, bytes](dbx_t* store, int list, int chain, main_view& catcher) {
        text = _read_message_start(store, list, chain, bytes, &catcher);
        return text.has_value();
    };
    if (!read_row(store_path, row, engine_index, error, start)) return std::nullopt;
    return text;
}
