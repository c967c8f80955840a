#pragma once
// Late-bound objects: the calls the .msg writer makes, DISPID by DISPID, on a message library
// registered on Windows, reached through IDispatch (com_object.h). Where none is registered,
// and on every other system, the program writes its .msg files itself.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace dispatch {

class dispatch_object;

// One argument or result: the VARIANT types the writer uses.
struct variant {
    enum class type { empty, i4, boolean, string, object };
    type kind = type::empty;
    int32_t i4 = 0;
    bool boolean = false;
    std::u16string string;
    std::shared_ptr<dispatch_object> object;

    static variant make_i4(int32_t value) {
        variant v;
        v.kind = type::i4;
        v.i4 = value;
        return v;
    }
    static variant make_bool(bool value) {
        variant v;
        v.kind = type::boolean;
        v.boolean = value;
        return v;
    }
    static variant make_string(std::u16string value) {
        variant v;
        v.kind = type::string;
        v.string = std::move(value);
        return v;
    }
    static variant make_object(std::shared_ptr<dispatch_object> value) {
        variant v;
        v.kind = type::object;
        v.object = std::move(value);
        return v;
    }
};

// The Invoke flags (the values of DISPATCH_METHOD, _PROPERTYGET and _PROPERTYPUT).
enum invoke_kind : unsigned { method = 1, property_get = 2, property_put = 4 };

// A failed call; what() is the object's own description when it gave one, else the code.
class dispatch_error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class dispatch_object {
  public:
    virtual ~dispatch_object() = default;
    // Arguments in the order the writer names them (the COM half reverses them for
    // DISPPARAMS). They are the object's to keep: a message's text is handed over, not
    // copied. Throws dispatch_error when the call fails.
    virtual variant invoke(int32_t dispid, invoke_kind kind, std::vector<variant> args) = 0;
};

// Prepares the calling thread for late-bound objects (CoInitialize on Windows).
void initialize_com();

}  // namespace dispatch
