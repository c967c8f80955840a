#include "msg_driver.h"

#include <cstdio>

#include "dispatch/dispatch.h"
#include "msg/store.h"
#include "platform/fs.h"
#include "platform/text.h"

using dispatch::invoke_kind;
using dispatch::variant;

std::string save_through_store(const std::string& folder, const std::u16string& name,
                               const msg_input& input) {
    auto root = dispatch::create_object("Redemption.RDOSession", msg::make_message_store);
    root->invoke(4, dispatch::method, std::vector<variant>(6));
    auto folder_object = root->invoke(7, dispatch::method, {variant::make_i4(6)}).object;
    auto items = folder_object->invoke(17, dispatch::property_get, {}).object;
    auto item = items->invoke(4, dispatch::method, {variant::make_i4(0)}).object;
    if (input.to) item->invoke(64, dispatch::property_put, {variant::make_string(*input.to)});
    if (input.subject) {
        item->invoke(0, dispatch::property_put, {variant::make_string(*input.subject)});
    }
    item->invoke(65, dispatch::property_put, {variant::make_bool(input.sent)});
    if (input.text) item->invoke(11, dispatch::property_put, {variant::make_string(*input.text)});
    std::u16string path = platform::utf8_to_utf16(folder) + u"\\" + name;
    item->invoke(72, dispatch::method, {variant::make_string(path), variant::make_i4(3)});
#ifdef _WIN32
    return folder + "\\" + platform::utf16_to_utf8(name);
#else
    return folder + "/" + platform::utf16_to_utf8(name);
#endif
}

std::u16string body_of(const std::u16string& text) {
    size_t end = text.find(u"\r\n\r\n");
    return end == std::u16string::npos ? std::u16string() : text.substr(end + 4);
}
