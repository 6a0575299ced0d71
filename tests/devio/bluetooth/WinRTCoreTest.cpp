// The runtime binding, the asynchronous bridge and the string vector over the stand-in runtime.
#include "bluetooth/AsyncBridge.h"
#include "bluetooth/WinRTBinding.h"
#include "bluetooth/WinRTVector.h"

#include <sim/Kernel.h>
#include <sim/WinRT.h>
#include <sim/WinRTAsync.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Microsoft::WRL::ComPtr;
using namespace ABI::Windows::Foundation;
using namespace ABI::Windows::Foundation::Collections;

// Every test ends with the runtime objects and strings it made gone again.
class WinRTCore : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(platform::sim::wait_runtime_idle(10000));
        m_objects = Microsoft::WRL::live_object_count();
        m_strings = platform::sim::live_hstring_count();
    }
    void TearDown() override
    {
        ASSERT_TRUE(platform::sim::wait_runtime_idle(10000));
        EXPECT_EQ(Microsoft::WRL::live_object_count(), m_objects);
        EXPECT_EQ(platform::sim::live_hstring_count(), m_strings);
    }
    long m_objects = 0;
    long m_strings = 0;
};

struct IDummyStatics : IInspectable {
    static const IID& iid()
    {
        static const IID id = {0x0991DF51, 0x57DB, 0x4725, {0xBB, 0xD7, 0x84, 0xF6, 0x43, 0x27, 0xEC, 0x2C}};
        return id;
    }
    virtual HRESULT Answer(int* value) = 0;
};

class DummyStatics : public Microsoft::WRL::RuntimeClass<IDummyStatics, Microsoft::WRL::FtmBase> {
public:
    HRESULT Answer(int* value) override
    {
        *value = 42;
        return S_OK;
    }
};

TEST_F(WinRTCore, BindingLoadsTheRuntimeOnceAndLooksEachExportUpOnce)
{
    EXPECT_TRUE(devio::winrt_available());
    EXPECT_TRUE(devio::winrt_available());
    EXPECT_EQ(devio::ro_initialize(1), S_OK);
    EXPECT_EQ(devio::ro_initialize(1), S_OK);
    // One load per group of exports, never freed.
    EXPECT_LE(platform::sim::module_load_count("combase.dll"), 2u);
    EXPECT_EQ(platform::sim::module_reference_count("combase.dll"),
              int(platform::sim::module_load_count("combase.dll")));
    for (const char* name : {"RoInitialize", "RoGetActivationFactory", "RoActivateInstance"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(platform::sim::module_lookup_count("combase.dll", name), 1u);
    }
}

TEST_F(WinRTCore, ActivationHandsOutTheFactoryAndRefusesAWrongInterface)
{
    platform::sim::register_activation_factory(u"Test.Dummy", [](REFIID iid, void** out) {
        auto statics = Microsoft::WRL::Make<DummyStatics>();
        return statics->QueryInterface(iid, out);
    });
    auto statics = devio::get_activation_factory<IDummyStatics>(u"Test.Dummy");
    ASSERT_TRUE(statics);
    int value = 0;
    EXPECT_EQ(statics->Answer(&value), S_OK);
    EXPECT_EQ(value, 42);
    statics.Reset();

    struct Case {
        const char* name;
        const char16_t* className;
        HRESULT expected;
    };
    const Case cases[] = {
        {"unknown class", u"Test.Nowhere", REGDB_E_CLASSNOTREG},
        {"wrong interface id", u"Test.Dummy", E_NOINTERFACE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            if (c.expected == E_NOINTERFACE)
                devio::get_activation_factory<IClosable>(c.className);
            else
                devio::get_activation_factory<IDummyStatics>(c.className);
            ADD_FAILURE() << "no exception";
        } catch (const devio::DevioException& e) {
            EXPECT_STREQ(e.text(), "hresult_error");
            EXPECT_EQ(e.code(), 1u);
            EXPECT_EQ(e.platformError(), static_cast<std::uint32_t>(c.expected));
        }
    }
    platform::sim::unregister_runtime_class(u"Test.Dummy");
}

TEST_F(WinRTCore, StringHoldersReleaseWhatTheyOwnOnly)
{
    {
        devio::HString text = devio::hstring_create(u"Gr\u00fc\u00dfe");
        EXPECT_EQ(platform::sim::live_hstring_count(), m_strings + 1);
        EXPECT_EQ(text.utf8(), "Gr\xC3\xBC\xC3\x9F" "e");
        std::uint32_t length = 0;
        EXPECT_NE(devio::hstring_raw_buffer(text.get(), &length), nullptr);
        EXPECT_EQ(length, 5u);
        devio::HString moved = std::move(text);
        EXPECT_EQ(platform::sim::live_hstring_count(), m_strings + 1);
    }
    EXPECT_EQ(platform::sim::live_hstring_count(), m_strings);
    {
        devio::HString nothing;  // all ones: owns nothing and deletes nothing
        devio::HString empty(nullptr);
        EXPECT_EQ(empty.utf8(), "");
        devio::HString made = devio::hstring_create(u"");
        EXPECT_EQ(made.get(), nullptr);
    }
    EXPECT_EQ(platform::sim::live_hstring_count(), m_strings);
}

using Op = platform::sim::AsyncOperation<IDummyStatics*>;
using StatusOp = platform::sim::AsyncOperation<int>;

TEST_F(WinRTCore, BridgeDeliversResultsAndTurnsEveryOtherEndIntoOops)
{
    // Completed later, on a runtime thread.
    {
        auto value = devio::toFuture<IDummyStatics*>(Op::completing(Microsoft::WRL::Make<DummyStatics>())).get();
        ASSERT_TRUE(value);
        int answer = 0;
        value->Answer(&answer);
        EXPECT_EQ(answer, 42);
    }
    // Already complete: the handler runs inside put_Completed.
    {
        auto op = StatusOp::make();
        op->complete(0);
        auto future = devio::toFuture<int>(op);
        ASSERT_EQ(future.wait_for(std::chrono::seconds(0)), std::future_status::ready);
        EXPECT_EQ(future.get(), 0);
    }
    struct Case {
        const char* name;
        std::function<void(StatusOp&)> end;
        std::uint32_t platformError;
    };
    const Case cases[] = {
        {"canceled", [](StatusOp& op) { op.Cancel(); }, 0},
        {"failed", [](StatusOp& op) { op.fail(HRESULT_UNREACHABLE); }, 0},
        {"results refused",
         [](StatusOp& op) {
             op.set_results_error(E_ACCESSDENIED);
             op.complete(0);
         },
         static_cast<std::uint32_t>(E_ACCESSDENIED)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto op = StatusOp::make();
        // Shared, so the stored exception is let go here after the join and not on the finisher
        // thread, whose release ThreadSanitizer cannot pair with our read (the count lives in
        // the uninstrumented C++ runtime).
        auto future = devio::toFuture<int>(op).share();
        std::thread finisher([&] { c.end(*op.Get()); });
        try {
            future.get();
            ADD_FAILURE() << "no exception";
        } catch (const devio::DevioException& e) {
            EXPECT_STREQ(e.text(), "oops");
            EXPECT_EQ(e.code(), 1u);
            EXPECT_EQ(e.platformError(), c.platformError);
        }
        finisher.join();
    }
}

TEST_F(WinRTCore, ManyWaitersEachGetTheirOwnResult)
{
    std::vector<std::thread> threads;
    std::atomic<int> right{0};
    for (int i = 0; i < 16; ++i)
        threads.emplace_back([&, i] {
            for (int round = 0; round < 20; ++round)
                if (devio::toFuture<int>(StatusOp::completing(i * 100 + round)).get() == i * 100 + round)
                    ++right;
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(right.load(), 16 * 20);
}

// Records the change events a vector raises.
class ChangeLog : public Microsoft::WRL::RuntimeClass<VectorChangedEventHandler<HSTRING>> {
public:
    HRESULT Invoke(IObservableVector<HSTRING>*, IVectorChangedEventArgs* args) override
    {
        CollectionChange change;
        std::uint32_t index;
        args->get_CollectionChange(&change);
        args->get_Index(&index);
        seen.emplace_back(change, index);
        return S_OK;
    }
    std::vector<std::pair<CollectionChange, std::uint32_t>> seen;
};

TEST_F(WinRTCore, VectorRaisesTheKindAndIndexOfEachChange)
{
    devio::HString a = devio::hstring_create(u"a"), b = devio::hstring_create(u"b"), c = devio::hstring_create(u"c");
    auto vector = Microsoft::WRL::Make<devio::WinRTVector<HSTRING>>();
    auto log = Microsoft::WRL::Make<ChangeLog>();
    EventRegistrationToken token;
    vector->add_VectorChanged(log.Get(), &token);

    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT result;
        CollectionChange change;
        std::uint32_t index;
        std::uint32_t size;
    };
    HSTRING items[] = {a.get(), b.get()};
    const Case cases[] = {
        {"append", [&] { return vector->Append(a.get()); }, S_OK, CollectionChange_ItemInserted, 0, 1},
        {"insert at the size appends", [&] { return vector->InsertAt(1, b.get()); }, S_OK,
         CollectionChange_ItemInserted, 1, 2},
        {"insert past the size", [&] { return vector->InsertAt(3, c.get()); }, E_BOUNDS, CollectionChange_Reset, 0, 2},
        {"set", [&] { return vector->SetAt(0, c.get()); }, S_OK, CollectionChange_ItemChanged, 0, 2},
        {"set past the end", [&] { return vector->SetAt(2, c.get()); }, E_BOUNDS, CollectionChange_Reset, 0, 2},
        {"remove", [&] { return vector->RemoveAt(0); }, S_OK, CollectionChange_ItemRemoved, 0, 1},
        {"remove at end", [&] { return vector->RemoveAtEnd(); }, S_OK, CollectionChange_ItemRemoved, 0, 0},
        {"remove at end of nothing", [&] { return vector->RemoveAtEnd(); }, E_BOUNDS, CollectionChange_Reset, 0, 0},
        {"replace all", [&] { return vector->ReplaceAll(2, items); }, S_OK, CollectionChange_Reset, 0, 2},
        {"clear", [&] { return vector->Clear(); }, S_OK, CollectionChange_Reset, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        log->seen.clear();
        EXPECT_EQ(k.call(), k.result);
        std::uint32_t size = 99;
        vector->get_Size(&size);
        EXPECT_EQ(size, k.size);
        if (k.result == S_OK) {
            ASSERT_EQ(log->seen.size(), 1u);
            EXPECT_EQ(log->seen[0].first, k.change);
            EXPECT_EQ(log->seen[0].second, k.index);
        } else {
            EXPECT_TRUE(log->seen.empty());
        }
    }
    vector->remove_VectorChanged(token);
}

TEST_F(WinRTCore, ViewsEndWithTheFirstChangeAndIteratorsReadTheNamesInOrder)
{
    devio::HString names[] = {devio::hstring_create(u"System.Devices.Aep.DeviceAddress"),
                              devio::hstring_create(u"System.Devices.Aep.IsConnected"),
                              devio::hstring_create(u"System.Devices.Aep.IsPaired")};
    auto vector = Microsoft::WRL::Make<devio::WinRTVector<HSTRING>>();
    for (auto& n : names)
        vector->Append(n.get());

    ComPtr<IIterable<HSTRING>> iterable;
    ASSERT_EQ(vector.As(&iterable), S_OK);
    ComPtr<IIterator<HSTRING>> it;
    ASSERT_EQ(iterable->First(it.GetAddressOf()), S_OK);
    std::vector<std::string> read;
    boolean has = false;
    for (it->get_HasCurrent(&has); has;) {
        HSTRING item = nullptr;
        EXPECT_EQ(it->get_Current(&item), S_OK);
        read.push_back(devio::hstring_to_utf8(item));
        EXPECT_EQ(it->MoveNext(&has), S_OK);
    }
    EXPECT_EQ(read, (std::vector<std::string>{"System.Devices.Aep.DeviceAddress", "System.Devices.Aep.IsConnected",
                                              "System.Devices.Aep.IsPaired"}));
    EXPECT_EQ(it->MoveNext(&has), S_OK);  // past the end: false, without an error
    EXPECT_FALSE(has);

    // Identity, not content.
    devio::HString copy = devio::hstring_create(u"System.Devices.Aep.IsConnected");
    std::uint32_t index = 9;
    boolean found = true;
    vector->IndexOf(copy.get(), &index, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(index, 0u);
    vector->IndexOf(names[1].get(), &index, &found);
    EXPECT_TRUE(found);
    EXPECT_EQ(index, 1u);

    ComPtr<IVectorView<HSTRING>> before;
    vector->GetView(before.GetAddressOf());
    vector->Append(copy.get());
    ComPtr<IVectorView<HSTRING>> after;
    vector->GetView(after.GetAddressOf());
    HSTRING item = nullptr;
    EXPECT_EQ(before->GetAt(0, &item), E_CHANGED_STATE);
    EXPECT_EQ(it->get_HasCurrent(&has), E_CHANGED_STATE);
    EXPECT_EQ(after->GetAt(3, &item), S_OK);
    EXPECT_EQ(item, copy.get());
    HSTRING many[8];
    std::uint32_t actual = 0;
    EXPECT_EQ(after->GetMany(1, 8, many, &actual), S_OK);
    EXPECT_EQ(actual, 3u);
    EXPECT_EQ(after->GetMany(5, 8, many, &actual), E_BOUNDS);
}

} // namespace
