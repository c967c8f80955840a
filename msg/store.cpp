#include "msg/store.h"

#include <cstring>

#include "dispatch/dispids.h"
#include "msg/message.h"
#include "platform/text.h"

namespace msg {

namespace {

using dispatch::dispatch_error;
using dispatch::invoke_kind;
using dispatch::variant;
using args_t = std::vector<variant>;
namespace dispid = dispatch::dispid;

[[noreturn]] void fail(const std::string& what) {
    throw dispatch_error("built-in message store: " + what);
}

const char* kind_name(invoke_kind kind) {
    switch (kind) {
        case dispatch::method:
            return "method call";
        case dispatch::property_get:
            return "property get";
        case dispatch::property_put:
            return "property put";
    }
    return "call";
}

// Checks the kind of call and the types of its arguments; `types` holds one letter per
// argument: e empty, i integer, b boolean, s string.
void expect(const char* object, int32_t member, invoke_kind kind, const args_t& args,
            invoke_kind want, const char* types) {
    std::string where = std::string(object) + " member " + std::to_string(member);
    if (kind != want) fail(where + ": " + kind_name(kind) + " not supported");
    size_t count = std::strlen(types);
    if (args.size() != count) {
        fail(where + " takes " + std::to_string(count) + " argument(s), not " +
             std::to_string(args.size()));
    }
    static const std::pair<char, variant::type> letters[] = {{'e', variant::type::empty},
                                                             {'i', variant::type::i4},
                                                             {'b', variant::type::boolean},
                                                             {'s', variant::type::string}};
    for (size_t i = 0; i < count; ++i) {
        for (auto [letter, type] : letters) {
            if (letter == types[i] && args[i].kind != type) {
                fail(where + ": argument " + std::to_string(i + 1) + " has the wrong type");
            }
        }
    }
}

void expect_value(const char* object, int32_t member, int32_t value, int32_t want) {
    if (value != want) {
        fail(std::string(object) + " member " + std::to_string(member) + " does not accept " +
             std::to_string(value));
    }
}

[[noreturn]] void no_member(const char* object, int32_t member) {
    fail(std::string(object) + " has no member " + std::to_string(member));
}

// The path the writer gives is the folder, a backslash and the file name; the name never
// holds a backslash, so the last one is the seam. The folder keeps its own separators.
std::string file_path(const std::u16string& path) {
    size_t seam = path.rfind(u'\\');
    if (seam == std::u16string::npos) return platform::path_from_utf16(path);
#ifdef _WIN32
    const char* separator = "\\";
#else
    const char* separator = "/";
#endif
    return platform::path_from_utf16(path.substr(0, seam)) + separator +
           platform::path_from_utf16(path.substr(seam + 1));
}

// A new file only: never through a link, never onto what stands there (a pipe would block
// the run), as the engine writes its files.
void save(const message_item& item, const std::u16string& path) {
    std::string failure = write_message_file(build_item(item), file_path(path));
    if (!failure.empty()) fail(failure);
}

class item_object : public dispatch::dispatch_object {
  public:
    variant invoke(int32_t member, invoke_kind kind, args_t args) override {
        switch (member) {
            case dispid::item_to:
                put_string(member, kind, args, item_.to);
                break;
            case dispid::item_subject:
                put_string(member, kind, args, item_.subject);
                break;
            case dispid::item_text:
                put_text(member, kind, args);
                break;
            case dispid::item_sent:
                expect("item", member, kind, args, dispatch::property_put, "b");
                item_.sent = args[0].boolean;
                break;
            case dispid::item_save_as:
                expect("item", member, kind, args, dispatch::method, "si");
                expect_value("item", member, args[1].i4, dispid::msg_file_type);
                save(item_, args[0].string);
                break;
            default:
                no_member("item", member);
        }
        return {};
    }

  private:
    void put_string(int32_t member, invoke_kind kind, args_t& args,
                    std::optional<std::u16string>& field) {
        expect("item", member, kind, args, dispatch::property_put, "s");
        field = std::move(args[0].string);
    }
    // The text is taken back to bytes at once, over its own storage: held as UTF-16 beside
    // its bytes, it would double the memory a large message needs.
    void put_text(int32_t member, invoke_kind kind, args_t& args) {
        expect("item", member, kind, args, dispatch::property_put, "s");
        item_.text.take_back(std::move(args[0].string));
    }
    message_item item_;
};

class items_object : public dispatch::dispatch_object {
  public:
    variant invoke(int32_t member, invoke_kind kind, args_t args) override {
        if (member != dispid::items_add) no_member("items", member);
        expect("items", member, kind, args, dispatch::method, "i");
        expect_value("items", member, args[0].i4, dispid::mail_item);
        return variant::make_object(std::make_shared<item_object>());
    }
};

class folder_object : public dispatch::dispatch_object {
  public:
    variant invoke(int32_t member, invoke_kind kind, args_t args) override {
        if (member != dispid::folder_items) no_member("folder", member);
        expect("folder", member, kind, args, dispatch::property_get, "");
        return variant::make_object(std::make_shared<items_object>());
    }
};

class root_object : public dispatch::dispatch_object {
  public:
    variant invoke(int32_t member, invoke_kind kind, args_t args) override {
        if (member == dispid::session_logon) {
            expect("session", member, kind, args, dispatch::method, "eeeeee");
            return {};
        }
        if (member == dispid::session_default_folder) {
            expect("session", member, kind, args, dispatch::method, "i");
            expect_value("session", member, args[0].i4, dispid::inbox_folder);
            return variant::make_object(std::make_shared<folder_object>());
        }
        no_member("session", member);
    }
};

}  // namespace

std::shared_ptr<dispatch::dispatch_object> make_message_store() {
    return std::make_shared<root_object>();
}

}  // namespace msg
