// Overlapped I/O on simulated HID collections: reads, writes, pending, cancel, close, removal.
#include "SimTestSupport.h"

#include <hidsdi.h>

#include <atomic>
#include <thread>

using namespace platform::sim;
using namespace simtest;

namespace {

class HidIoTest : public simtest::DeviceTreeTest {
protected:
    void SetUp() override
    {
        DeviceTreeTest::SetUp();
        m_collection = make_collection();
        m_collection->plug();
        m_event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    void TearDown() override
    {
        CloseHandle(m_event);
        DeviceTreeTest::TearDown();
    }

    HANDLE open(DWORD flags = FILE_FLAG_OVERLAPPED) { return open_path(m_collection->path(), flags); }

    OVERLAPPED overlapped()
    {
        OVERLAPPED o{};
        o.hEvent = m_event;
        return o;
    }

    static Bytes report(std::uint8_t id, std::uint8_t fill, std::size_t length = 20)
    {
        Bytes r(length, fill);
        r[0] = id;
        return r;
    }

    std::shared_ptr<HidCollection> m_collection;
    HANDLE m_event = nullptr;
};

TEST_F(HidIoTest, ReadPendsUntilAReportArrivesAndReturnsTheWholeReport)
{
    HANDLE file = open();
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Bytes buffer(64, 0xEE);
    OVERLAPPED o = overlapped();
    DWORD done = 0;
    ASSERT_FALSE(ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_INCOMPLETE));

    // A short report is zero-filled to the input length, report id in byte 0.
    ASSERT_TRUE(m_collection->send_input_report({0x11, 0xFF, 0x01}));
    EXPECT_EQ(WaitForSingleObject(m_event, 5000), WAIT_OBJECT_0);
    ASSERT_TRUE(GetOverlappedResult(file, &o, &done, TRUE));
    EXPECT_EQ(done, 20u);
    Bytes expected(20, 0);
    expected[0] = 0x11, expected[1] = 0xFF, expected[2] = 0x01;
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 20), expected);
    EXPECT_EQ(buffer[20], 0xEE);

    // A queued report completes the next read at once, and the event is set then too.
    ASSERT_TRUE(m_collection->send_input_report(report(0x11, 7)));
    EXPECT_TRUE(ReadFile(file, buffer.data(), 20, &done, &o));
    EXPECT_EQ(done, 20u);
    EXPECT_EQ(buffer[1], 7);
    EXPECT_EQ(WaitForSingleObject(m_event, 0), WAIT_OBJECT_0);

    // Too small a buffer and too long a report are refused.
    EXPECT_FALSE(ReadFile(file, buffer.data(), 19, &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_FALSE(m_collection->send_input_report(Bytes(21, 0x11)));
    CloseHandle(file);
}

TEST_F(HidIoTest, EveryHandleGetsEveryReportInItsOwnBoundedQueue)
{
    HidCollectionLayout layout = HidCollectionLayout::simple(0x7E51, 0x1234, 0xFF00, 1, 0x10, 7);
    layout.inputQueueLength = 3;
    auto small = create_hid_collection(layout);
    small->plug();
    const std::u16string path = wide(small->path());
    HANDLE a = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    HANDLE b = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    ASSERT_NE(b, INVALID_HANDLE_VALUE);
    for (std::uint8_t i = 1; i <= 5; ++i)
        ASSERT_TRUE(small->send_input_report({0x10, i}));
    for (HANDLE h : {a, b}) {
        // The two oldest of five were dropped.
        for (std::uint8_t expected : {3, 4, 5}) {
            Bytes buffer(7);
            OVERLAPPED o = overlapped();
            DWORD done = 0;
            ASSERT_TRUE(ReadFile(h, buffer.data(), 7, &done, &o));
            EXPECT_EQ(buffer[1], expected);
        }
        Bytes buffer(7);
        OVERLAPPED o = overlapped();
        EXPECT_FALSE(ReadFile(h, buffer.data(), 7, nullptr, &o));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
        EXPECT_TRUE(CancelIoEx(h, &o));
    }
    CloseHandle(a);
    CloseHandle(b);
}

TEST_F(HidIoTest, CancelAndCloseEndPendingReadsWithOperationAborted)
{
    HANDLE file = open();
    Bytes buffer(20);
    OVERLAPPED o = overlapped();
    ASSERT_FALSE(ReadFile(file, buffer.data(), 20, nullptr, &o));
    EXPECT_TRUE(CancelIoEx(file, &o));
    DWORD done = 1;
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(done, 0u);
    EXPECT_FALSE(CancelIoEx(file, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_FOUND));

    ASSERT_FALSE(ReadFile(file, buffer.data(), 20, nullptr, &o));
    ASSERT_TRUE(m_collection->wait_for_pending_reads(1));
    CloseHandle(file);
    EXPECT_EQ(WaitForSingleObject(m_event, 5000), WAIT_OBJECT_0);
    EXPECT_NE(o.Internal, 0u);  // ended, and not with success
    EXPECT_TRUE(m_collection->wait_for_open_handles(0));
}

TEST_F(HidIoTest, WritesMustMatchTheOutputReportAndReachTheModel)
{
    m_collection->set_model(std::make_shared<EchoModel>());
    HANDLE file = open();
    OVERLAPPED o = overlapped();
    DWORD done = 0;
    EXPECT_FALSE(WriteFile(file, report(0x11, 1, 7).data(), 7, &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_USER_BUFFER));
    EXPECT_FALSE(WriteFile(file, report(0x10, 1).data(), 20, &done, &o));  // not one of its report ids
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(m_collection->write_count(), 0u);

    const Bytes sent = report(0x11, 0x42);
    ASSERT_TRUE(WriteFile(file, sent.data(), 20, &done, &o));
    EXPECT_EQ(done, 20u);
    ASSERT_TRUE(m_collection->wait_for_writes(1));
    EXPECT_EQ(m_collection->written_reports().front(), sent);
    // The echo is waiting in this handle's queue.
    Bytes buffer(20);
    ASSERT_TRUE(ReadFile(file, buffer.data(), 20, &done, &o));
    EXPECT_EQ(buffer, sent);
    CloseHandle(file);
}

TEST_F(HidIoTest, WriteFaultsStallAndHeldWrites)
{
    HANDLE file = open();
    OVERLAPPED o = overlapped();
    const Bytes sent = report(0x11, 1);
    DWORD done = 0;

    m_collection->set_stalled(true);
    EXPECT_FALSE(WriteFile(file, sent.data(), 20, &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    m_collection->set_stalled(false);

    m_collection->fail_writes(ERROR_ACCESS_DENIED, 1);
    EXPECT_FALSE(WriteFile(file, sent.data(), 20, &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(WriteFile(file, sent.data(), 20, &done, &o));

    m_collection->hold_writes(true);
    EXPECT_FALSE(WriteFile(file, sent.data(), 20, &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_EQ(WaitForSingleObject(m_event, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(m_collection->release_held_writes(), 1u);
    EXPECT_TRUE(GetOverlappedResult(file, &o, &done, TRUE));
    EXPECT_EQ(done, 20u);
    EXPECT_EQ(m_collection->write_count(), 2u);

    // A held write cancelled by the writer never reaches the device.
    EXPECT_FALSE(WriteFile(file, sent.data(), 20, &done, &o));
    EXPECT_TRUE(CancelIoEx(file, &o));
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(m_collection->release_held_writes(), 0u);
    EXPECT_EQ(m_collection->write_count(), 2u);
    CloseHandle(file);
}

TEST_F(HidIoTest, HeldWritesEndWithTheirHandleOrTheirDeviceAndNeverReachIt)
{
    auto model = std::make_shared<EchoModel>();
    m_collection->set_model(model);
    m_collection->hold_writes(true);
    HANDLE closing = open();
    HANDLE staying = open();
    OVERLAPPED first = overlapped();
    HANDLE second_event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED second{};
    second.hEvent = second_event;
    DWORD done = 0;
    ASSERT_FALSE(WriteFile(closing, report(0x11, 1).data(), 20, &done, &first));
    ASSERT_FALSE(WriteFile(staying, report(0x11, 2).data(), 20, &done, &second));
    ASSERT_TRUE(m_collection->wait_for_held_writes(2));

    // Closing a handle aborts its own held write only.
    CloseHandle(closing);
    EXPECT_EQ(WaitForSingleObject(m_event, 0), static_cast<DWORD>(WAIT_OBJECT_0));
    EXPECT_EQ(m_collection->held_write_count(), 1u);

    // The device leaving ends the other one.
    m_collection->unplug(Removal::Surprise);
    EXPECT_FALSE(GetOverlappedResult(staying, &second, &done, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(m_collection->release_held_writes(), 0u);
    EXPECT_EQ(m_collection->write_count(), 0u);
    CloseHandle(staying);
    CloseHandle(second_event);
}

TEST_F(HidIoTest, SurpriseRemovalEndsPendingReadsAndLaterIoWithDeviceNotConnected)
{
    HANDLE file = open();
    Bytes buffer(20);
    OVERLAPPED o = overlapped();
    ASSERT_FALSE(ReadFile(file, buffer.data(), 20, nullptr, &o));
    m_collection->unplug(Removal::Surprise);
    DWORD done = 0;
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_FALSE(WriteFile(file, report(0x11, 1).data(), 20, &done, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    HIDD_ATTRIBUTES attributes{sizeof(HIDD_ATTRIBUTES), 0, 0, 0};
    EXPECT_FALSE(HidD_GetAttributes(file, &attributes));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(open(), INVALID_HANDLE_VALUE);

    // Back again: the old handle stays dead, a new one works.
    m_collection->plug();
    EXPECT_FALSE(ReadFile(file, buffer.data(), 20, nullptr, &o));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
    HANDLE again = open();
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
    CloseHandle(file);
}

TEST_F(HidIoTest, AFinishedReadKeepsItsOutcomeAfterItsHandleIsClosed)
{
    // A reader may learn of the removal only after the bus has closed the handle.
    HANDLE file = open();
    Bytes buffer(20);
    OVERLAPPED o = overlapped();
    ASSERT_FALSE(ReadFile(file, buffer.data(), 20, nullptr, &o));
    m_collection->unplug(Removal::Surprise);
    CloseHandle(file);
    DWORD done = 0;
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(HidIoTest, InjectedReadErrorFailsThePendingRead)
{
    HANDLE file = open();
    Bytes buffer(20);
    OVERLAPPED o = overlapped();
    ASSERT_FALSE(ReadFile(file, buffer.data(), 20, nullptr, &o));
    m_collection->inject_read_error(ERROR_GEN_FAILURE);
    DWORD done = 0;
    EXPECT_FALSE(GetOverlappedResult(file, &o, &done, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
    CloseHandle(file);
}

TEST_F(HidIoTest, ReportsFromAnotherThreadReachAReaderLoop)
{
    m_collection->set_model(std::make_shared<EchoModel>());
    HANDLE file = open();
    std::atomic<int> received{0};
    std::thread reader([&] {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        Bytes buffer(20);
        for (;;) {
            OVERLAPPED o{};
            o.hEvent = event;
            DWORD done = 0;
            if (!ReadFile(file, buffer.data(), 20, &done, &o)) {
                if (GetLastError() != ERROR_IO_PENDING)
                    break;
                if (!GetOverlappedResult(file, &o, &done, TRUE))
                    break;
            }
            ++received;
        }
        CloseHandle(event);
    });
    std::thread writer([&] {
        HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        for (int i = 0; i < 30; ++i) {
            OVERLAPPED o{};
            o.hEvent = event;
            Bytes r(20, static_cast<std::uint8_t>(i));
            r[0] = 0x11;
            DWORD done = 0;
            WriteFile(file, r.data(), 20, &done, &o);
        }
        CloseHandle(event);
    });
    writer.join();
    ASSERT_TRUE(m_collection->wait_for_writes(30));
    // The reader may trail its queue (32 deep, so nothing is dropped); let it catch up.
    for (int spin = 0; spin < 1000 && received.load() < 30; ++spin)
        m_collection->wait_for_pending_reads(1, std::chrono::milliseconds(10));
    m_collection->unplug(Removal::Surprise);  // ends the reader
    reader.join();
    EXPECT_EQ(received.load(), 30);
    CloseHandle(file);
}

}  // namespace
