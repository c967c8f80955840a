#include "dispatch/com_object.h"

#ifndef _WIN32

namespace dispatch {

std::shared_ptr<dispatch_object> create_com_object(const char*) {
    return nullptr;
}

}  // namespace dispatch

#else

#include <ole2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/text.h"

namespace dispatch {

namespace {

BSTR make_bstr(const std::u16string& text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
}

std::u16string from_bstr(BSTR text) {
    if (!text) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

// The arguments of one call, reversed as DISPPARAMS wants them; cleared on every path.
class argument_block {
  public:
    ~argument_block() {
        for (VARIANT& v : values_) VariantClear(&v);
    }
    std::vector<VARIANT>& values() { return values_; }

  private:
    std::vector<VARIANT> values_;
};

// Frees the strings an EXCEPINFO carries and gives back its description.
std::string take_description(EXCEPINFO& info) {
    if (info.pfnDeferredFillIn) info.pfnDeferredFillIn(&info);
    std::string text = platform::utf16_to_utf8(from_bstr(info.bstrDescription));
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    return text;
}

std::string hresult_text(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

class com_object : public dispatch_object {
  public:
    explicit com_object(IDispatch* dispatch) : dispatch_(dispatch) {}
    ~com_object() override { dispatch_->Release(); }
    com_object(const com_object&) = delete;
    com_object& operator=(const com_object&) = delete;

    IDispatch* get() const { return dispatch_; }

    variant invoke(int32_t dispid, invoke_kind kind, std::vector<variant> args) override {
        argument_block block;
        auto& values = block.values();
        values.resize(args.size());
        for (VARIANT& v : values) VariantInit(&v);
        for (size_t i = 0; i < args.size(); ++i) to_variant(args[args.size() - 1 - i], values[i]);

        DISPID put_name = DISPID_PROPERTYPUT;
        DISPPARAMS params{};
        params.rgvarg = values.empty() ? nullptr : values.data();
        params.cArgs = static_cast<UINT>(values.size());
        if (kind == property_put) {
            params.rgdispidNamedArgs = &put_name;
            params.cNamedArgs = 1;
        }
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO info{};
        UINT bad_argument = 0;
        HRESULT hr = dispatch_->Invoke(
            dispid, IID_NULL, LOCALE_USER_DEFAULT, static_cast<WORD>(kind), &params,
            kind == property_put ? nullptr : &result, &info, &bad_argument);
        if (FAILED(hr)) {
            VariantClear(&result);
            std::string description = hr == DISP_E_EXCEPTION ? take_description(info) : "";
            throw dispatch_error(description.empty() ? hresult_text(hr) : description);
        }
        variant out = from_variant(result);
        VariantClear(&result);
        return out;
    }

  private:
    static void to_variant(const variant& in, VARIANT& out) {
        switch (in.kind) {
            case variant::type::empty:
                out.vt = VT_EMPTY;
                break;
            case variant::type::i4:
                out.vt = VT_I4;
                out.lVal = in.i4;
                break;
            case variant::type::boolean:
                out.vt = VT_BOOL;
                out.boolVal = in.boolean ? VARIANT_TRUE : VARIANT_FALSE;
                break;
            case variant::type::string:
                out.bstrVal = make_bstr(in.string);
                if (!out.bstrVal) throw dispatch_error(hresult_text(E_OUTOFMEMORY));
                out.vt = VT_BSTR;
                break;
            case variant::type::object: {
                auto* com = dynamic_cast<com_object*>(in.object.get());
                if (!com) throw dispatch_error("an object argument must be a COM object");
                out.vt = VT_DISPATCH;
                out.pdispVal = com->get();
                out.pdispVal->AddRef();
                break;
            }
        }
    }

    // Objects are wrapped again; the wrapper takes over the reference the result held.
    static variant from_variant(VARIANT& in) {
        switch (in.vt) {
            case VT_I4:
                return variant::make_i4(in.lVal);
            case VT_BOOL:
                return variant::make_bool(in.boolVal != VARIANT_FALSE);
            case VT_BSTR:
                return variant::make_string(from_bstr(in.bstrVal));
            case VT_DISPATCH:
                if (!in.pdispVal) return {};
                {
                    auto object = std::make_shared<com_object>(in.pdispVal);
                    in.vt = VT_EMPTY;  // the reference now belongs to the wrapper
                    return variant::make_object(std::move(object));
                }
            case VT_UNKNOWN: {
                IDispatch* dispatch = nullptr;
                if (in.punkVal && SUCCEEDED(in.punkVal->QueryInterface(
                                      IID_IDispatch, reinterpret_cast<void**>(&dispatch)))) {
                    return variant::make_object(std::make_shared<com_object>(dispatch));
                }
                return {};
            }
            default:
                return {};
        }
    }

    IDispatch* dispatch_;
};

}  // namespace

std::shared_ptr<dispatch_object> create_com_object(const char* progid) {
    std::u16string name = platform::utf8_to_utf16(progid ? progid : "");
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(name.c_str()), &clsid))) return nullptr;
    IUnknown* unknown = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&unknown)))) {
        return nullptr;
    }
    IDispatch* dispatch = nullptr;
    HRESULT hr = OleRun(unknown);
    if (SUCCEEDED(hr)) {
        hr = unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch));
    }
    unknown->Release();
    if (FAILED(hr) || !dispatch) return nullptr;
    return std::make_shared<com_object>(dispatch);
}

}  // namespace dispatch

#endif
