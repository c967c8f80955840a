// The COM half of the late-bound layer, driven against an object every Windows (and wine)
// registers: Scripting.Dictionary. Its DISPIDs are looked up by name first.

#include <gtest/gtest.h>

#ifdef _WIN32

#include <ole2.h>
#include <windows.h>

#include "dispatch/com_object.h"

using dispatch::variant;

namespace {

class ComObject : public ::testing::Test {
  protected:
    void SetUp() override {
        CoInitialize(nullptr);
        object_ = dispatch::create_com_object("Scripting.Dictionary");
        if (!object_) GTEST_SKIP() << "Scripting.Dictionary is not registered";
    }
    void TearDown() override {
        object_.reset();
        CoUninitialize();
    }

    // The DISPID of a member, through the object's own IDispatch.
    static DISPID id_of(const wchar_t* name) {
        CLSID clsid;
        IDispatch* dispatch = nullptr;
        DISPID id = -1;
        if (SUCCEEDED(CLSIDFromProgID(L"Scripting.Dictionary", &clsid)) &&
            SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                                       reinterpret_cast<void**>(&dispatch)))) {
            LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
            dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
            dispatch->Release();
        }
        return id;
    }

    std::shared_ptr<dispatch::dispatch_object> object_;
};

}  // namespace

TEST_F(ComObject, ArgumentsResultsAndPropertyPuts) {
    DISPID add = id_of(L"Add"), count = id_of(L"Count"), item = id_of(L"Item"),
           exists = id_of(L"Exists");
    // Arguments in the writer's order: key first.
    object_->invoke(add, dispatch::method,
                    {variant::make_string(u"k\u00e9y"), variant::make_i4(42)});
    object_->invoke(item, dispatch::property_put,
                    {variant::make_string(u"flag"), variant::make_bool(true)});

    variant n = object_->invoke(count, dispatch::property_get, {});
    EXPECT_EQ(n.kind, variant::type::i4);
    EXPECT_EQ(n.i4, 2);
    variant value =
        object_->invoke(item, dispatch::property_get, {variant::make_string(u"k\u00e9y")});
    EXPECT_EQ(value.kind, variant::type::i4);
    EXPECT_EQ(value.i4, 42);
    variant flag = object_->invoke(item, dispatch::property_get, {variant::make_string(u"flag")});
    EXPECT_EQ(flag.kind, variant::type::boolean);
    EXPECT_TRUE(flag.boolean);
    variant there = object_->invoke(exists, dispatch::method, {variant::make_string(u"nope")});
    EXPECT_EQ(there.kind, variant::type::boolean);
    EXPECT_FALSE(there.boolean);
}

TEST_F(ComObject, FailedCallsThrowWithADescriptionOrTheCode) {
    DISPID add = id_of(L"Add");
    object_->invoke(add, dispatch::method, {variant::make_string(u"a"), variant::make_i4(1)});
    // Adding the same key twice fails inside the object.
    try {
        object_->invoke(add, dispatch::method, {variant::make_string(u"a"), variant::make_i4(2)});
        ADD_FAILURE() << "no error";
    } catch (const dispatch::dispatch_error& e) {
        EXPECT_GT(std::string(e.what()).size(), 0u);
    }
    // A member that does not exist: Invoke's own code.
    try {
        object_->invoke(0x7FFF, dispatch::method, {});
        ADD_FAILURE() << "no error";
    } catch (const dispatch::dispatch_error& e) {
        EXPECT_STREQ(e.what(), "0x80020003");  // DISP_E_MEMBERNOTFOUND
    }
}

TEST(ComObjectLookup, UnregisteredProgIdGivesNothing) {
    CoInitialize(nullptr);
    EXPECT_EQ(dispatch::create_com_object("Morvale.NoSuchObject.1"), nullptr);
    CoUninitialize();
}

#endif
