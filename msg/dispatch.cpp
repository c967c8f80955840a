// The late-bound object layer: the variant helpers and the choice between a registered COM
// object and the built-in message store.

#include "platform/dispatch.h"

#include "msg/com_object.h"
#include "msg/store.h"

namespace platform {

variant variant::make_i4(int32_t value) {
    variant v;
    v.kind = type::i4;
    v.i4 = value;
    return v;
}

variant variant::make_bool(bool value) {
    variant v;
    v.kind = type::boolean;
    v.boolean = value;
    return v;
}

variant variant::make_string(std::u16string value) {
    variant v;
    v.kind = type::string;
    v.string = std::move(value);
    return v;
}

variant variant::make_object(std::shared_ptr<dispatch_object> value) {
    variant v;
    v.kind = type::object;
    v.object = std::move(value);
    return v;
}

// A registered ProgID gives its COM object (Windows only); anything else, the built-in
// store, which answers the same calls.
std::shared_ptr<dispatch_object> create_object(const char* progid) {
    if (auto object = msg::create_com_object(progid)) return object;
    return msg::make_message_store();
}

}  // namespace platform
