// Edge cases of the kernel, messages and files: bad arguments, owners that vanish, threads that
// send to each other, paths that try to leave the machine and odd profile files.
#include <windows.h>

#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace {

namespace sim = platform::sim;
using namespace std::chrono;

class PlatformEdgeTest : public ::testing::Test {
protected:
    void SetUp() override { sim::reset_machine(); }
};

TEST_F(PlatformEdgeTest, WaitAnyRefusesBadArgumentsAndTakesAFreeMutexAheadOfLaterEvents) {
    HANDLE event = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    HANDLE mutex = CreateMutexW(nullptr, FALSE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(0, &event, FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    std::vector<HANDLE> many(MAXIMUM_WAIT_OBJECTS + 1, event);
    EXPECT_EQ(WaitForMultipleObjects(static_cast<DWORD>(many.size()), many.data(), FALSE, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    HANDLE withNull[2] = {event, nullptr};
    EXPECT_EQ(WaitForMultipleObjects(2, withNull, FALSE, 0), WAIT_FAILED);

    // Index 0, the free mutex, wins over the signalled event and becomes owned by this thread.
    HANDLE both[2] = {mutex, event};
    EXPECT_EQ(WaitForMultipleObjects(2, both, FALSE, 0), WAIT_OBJECT_0);
    DWORD other = 0;
    std::thread([&] { other = WaitForMultipleObjects(2, both, FALSE, 0); }).join();
    EXPECT_EQ(other, WAIT_OBJECT_0 + 1);  // the mutex is taken: the event answers
    EXPECT_TRUE(ReleaseMutex(mutex));
    CloseHandle(mutex);
    CloseHandle(event);
}

TEST_F(PlatformEdgeTest, MutexLeftOwnedByAnEndedThreadIsAbandonedToTheNextWaiter) {
    HANDLE mutex = CreateMutexW(nullptr, FALSE, u"Local\\QuillonEdgeAbandon");
    ASSERT_NE(mutex, nullptr);
    HANDLE same = CreateMutexW(nullptr, FALSE, u"Local\\QuillonEdgeAbandon");
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    std::thread([&] { EXPECT_EQ(WaitForSingleObject(same, 0), WAIT_OBJECT_0); }).join();
    EXPECT_EQ(WaitForSingleObject(mutex, 5000), WAIT_ABANDONED);
    EXPECT_TRUE(ReleaseMutex(mutex));
    EXPECT_EQ(WaitForSingleObject(same, 0), WAIT_OBJECT_0);  // owned normally afterwards
    EXPECT_TRUE(ReleaseMutex(same));
    CloseHandle(same);
    CloseHandle(mutex);
}

// A window whose procedure counts messages; owned by the thread that makes it.
struct Counter {
    std::mutex mutex;
    std::vector<UINT> seen;
};

LRESULT CALLBACK counting_proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NCCREATE)
        SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    auto* counter = reinterpret_cast<Counter*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (counter && msg >= WM_APP) {
        std::lock_guard<std::mutex> lock(counter->mutex);
        counter->seen.push_back(msg);
        // WM_APP + 1 from another window: send one back to the sender's window (wParam).
        if (msg == WM_APP + 1 && wParam) return SendMessageW(reinterpret_cast<HWND>(wParam), WM_APP + 2, 0, 0) + 1;
        return 40;
    }
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND make_counting_window(Counter& counter) {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = counting_proc;
        wc.lpszClassName = u"EdgeCounting";
        return RegisterClassW(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    return CreateWindowExW(0, u"EdgeCounting", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, &counter);
}

TEST_F(PlatformEdgeTest, TwoThreadsSendingToEachOtherBothGetTheirAnswers) {
    // The owner of B sends to A while A's owner, inside that very send, sends back to B:
    // a waiting sender answers messages sent to its own thread meanwhile.
    Counter a, b;
    HWND windowA = make_counting_window(a);
    ASSERT_NE(windowA, nullptr);
    std::promise<LRESULT> answer;
    std::thread other([&] {
        HWND windowB = make_counting_window(b);
        answer.set_value(SendMessageW(windowA, WM_APP + 1, reinterpret_cast<WPARAM>(windowB), 0));
        DestroyWindow(windowB);
    });
    auto result = answer.get_future();
    MSG msg;
    while (result.wait_for(seconds(0)) != std::future_status::ready) {
        // Sent messages are handled inside the wait for a posted one.
        PostMessageW(windowA, WM_NULL, 0, 0);
        ASSERT_GT(GetMessageW(&msg, nullptr, 0, 0), 0);
        DispatchMessageW(&msg);
    }
    other.join();
    EXPECT_EQ(result.get(), 41);
    EXPECT_EQ(b.seen, std::vector<UINT>{WM_APP + 2});
    DestroyWindow(windowA);
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
}

TEST_F(PlatformEdgeTest, MessagesToAWindowThatWentAwayFailOrFallSilent) {
    Counter counter;
    HWND hwnd = make_counting_window(counter);
    ASSERT_NE(hwnd, nullptr);
    ASSERT_TRUE(PostMessageW(hwnd, WM_APP, 1, 2));
    ASSERT_TRUE(DestroyWindow(hwnd));
    EXPECT_FALSE(PostMessageW(hwnd, WM_APP, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    DWORD_PTR result = 5;
    EXPECT_FALSE(SendMessageTimeoutW(hwnd, WM_APP, 0, 0, SMTO_BLOCK, 100, &result));
    EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), 0);
    MSG msg;
    EXPECT_EQ(GetMessageW(&msg, hwnd, 0, 0), -1);  // a filter on a window that is no more
    // The loop ends on the quit of WM_DESTROY; the message posted before never reaches the procedure.
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
    EXPECT_TRUE(counter.seen.empty());
    EXPECT_FALSE(SetTimer(hwnd, 1, 10, nullptr));
}

TEST_F(PlatformEdgeTest, SenderBlockedOnAWindowIsReleasedWhenItsThreadDestroysIt) {
    Counter counter;
    std::mutex mutex;
    std::condition_variable changed;
    HWND hwnd = nullptr;
    bool destroy = false;
    std::thread owner([&] {
        HWND made = make_counting_window(counter);
        std::unique_lock<std::mutex> lock(mutex);
        hwnd = made;
        changed.notify_all();
        changed.wait(lock, [&] { return destroy; });
        lock.unlock();
        DestroyWindow(made);  // without pumping the sent message first
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return hwnd != nullptr; });
    }
    auto sent = std::async(std::launch::async, [&] {
        DWORD_PTR result = 0;
        return SendMessageTimeoutW(hwnd, WM_APP, 0, 0, SMTO_BLOCK, 10000, &result);
    });
    const auto deadline = steady_clock::now() + seconds(10);
    while (sim::pending_sent_messages(hwnd) == 0 && steady_clock::now() < deadline) std::this_thread::yield();
    {
        std::lock_guard<std::mutex> lock(mutex);
        destroy = true;
        changed.notify_all();
    }
    const auto start = steady_clock::now();
    owner.join();
    EXPECT_EQ(sent.wait_for(seconds(5)), std::future_status::ready);
    EXPECT_LT(steady_clock::now() - start, seconds(5));
    sent.get();
}

TEST_F(PlatformEdgeTest, PathsCannotLeaveTheMachineRoot) {
    const std::string root = std::filesystem::weakly_canonical(sim::machine_root()).string();
    for (const char16_t* path : {u"C:\\..\\..\\..\\..\\escape.txt", u"C:\\ProgramData\\..\\..\\..\\escape2.txt",
                                 u"\\\\?\\C:\\..\\..\\escape3.txt", u"C:/../../escape4.txt"}) {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;  // refusing is fine too
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, "x", 1, &written, nullptr));
        CloseHandle(file);
        const std::string host = std::filesystem::weakly_canonical(sim::host_path(std::u16string(path))).string();
        EXPECT_EQ(host.rfind(root + "/", 0), 0u) << host;
        EXPECT_TRUE(std::filesystem::exists(host));
        EXPECT_TRUE(DeleteFileW(path));
    }
}

TEST_F(PlatformEdgeTest, TemporaryFileIsRecreatedForWritingAndOpenFilesResistDeletion) {
    WCHAR folder[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, folder), 0u);
    WCHAR name[MAX_PATH];
    ASSERT_NE(GetTempFileNameW(folder, u"", 0, name), 0u);
    HANDLE file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "image", 5, &written, nullptr));
    char byte;
    DWORD read = 0;
    EXPECT_FALSE(ReadFile(file, &byte, 1, &read, nullptr));  // opened for writing only
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(file);
    EXPECT_EQ(GetFileAttributesW(name) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    // Recreating truncates.
    file = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(file, nullptr), 0u);
    CloseHandle(file);
    EXPECT_TRUE(DeleteFileW(name));
    EXPECT_FALSE(DeleteFileW(name));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(PlatformEdgeTest, FindMatchesExtensionsIgnoringCaseAndReportsMissingFolders) {
    ASSERT_TRUE(sim::write_file("C:\\Fw\\KBD_12_01_0005.INI", "x"));
    ASSERT_TRUE(sim::write_file("C:\\Fw\\kbd_12_02_0001.ini", "x"));
    ASSERT_TRUE(sim::write_file("C:\\Fw\\kbd_12_02_0001.hex", "x"));
    ASSERT_TRUE(sim::write_file("C:\\Fw\\notes.ini.txt", "x"));
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(u"C:\\Fw\\*.ini", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::u16string> names{data.cFileName};
    while (FindNextFileW(find, &data)) names.emplace_back(data.cFileName);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    FindClose(find);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"KBD_12_01_0005.INI", u"kbd_12_02_0001.ini"}));
    EXPECT_EQ(FindFirstFileW(u"C:\\Missing\\*.ini", &data), INVALID_HANDLE_VALUE);
    EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(FindFirstFileW(u"C:\\Fw\\*.bin", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstChangeNotificationW(u"C:\\Missing", FALSE, FILE_NOTIFY_CHANGE_FILE_NAME), INVALID_HANDLE_VALUE);
}

TEST_F(PlatformEdgeTest, ProfileStringsSurviveOddLinesAndTinyBuffers) {
    ASSERT_TRUE(sim::write_file("C:\\Fw\\odd.ini",
                                "garbage line\n[Broken\nKey=lost\n[FirmwareData]\nLocation=a=b.hex\n"
                                "NoEquals\nLocation=second\n=empty name\n[Long]\nValue=" +
                                    std::string(300, 'v') + "\n"));
    const WCHAR* file = u"C:\\Fw\\odd.ini";
    WCHAR out[256];
    EXPECT_EQ(GetPrivateProfileStringW(u"FirmwareData", u"Location", u"", out, 256, file), 7u);
    EXPECT_EQ(std::u16string(out), u"a=b.hex");  // the first occurrence; the value keeps its '='
    EXPECT_EQ(GetPrivateProfileStringW(u"Long", u"Value", u"", out, 256, file), 255u);
    EXPECT_EQ(std::u16string(out), std::u16string(255, u'v'));
    out[0] = u'x';
    EXPECT_EQ(GetPrivateProfileStringW(u"FirmwareData", u"Location", u"", out, 1, file), 0u);
    EXPECT_EQ(out[0], u'\0');
    EXPECT_EQ(GetPrivateProfileStringW(u"FirmwareData", u"Missing", nullptr, out, 256, file), 0u);
    EXPECT_EQ(std::u16string(out), u"");
    // A binary file is read without harm.
    ASSERT_TRUE(sim::write_file("C:\\Fw\\binary.ini", std::string("\x00\xff[\x01=\x02\r\r\n", 9)));
    EXPECT_EQ(GetPrivateProfileStringW(u"FirmwareData", u"Location", u"none", out, 256, u"C:\\Fw\\binary.ini"), 4u);
}

TEST_F(PlatformEdgeTest, RegistryKeysDeletedUnderAnOpenHandleAndClosedHandlesFailCleanly) {
    sim::registry_set_dword(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick\\Quillon\\Sub", "v", 3);
    sim::registry_set_string(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick\\Quillon", "Name", "x");
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick\\Quillon", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    WCHAR name[4];
    DWORD length = 4;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"Sub");
    length = 3;  // no room for the NUL
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    length = 4;
    EXPECT_EQ(RegEnumKeyExW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegDeleteValueW(key, u"Missing"), ERROR_FILE_NOT_FOUND);

    // The key goes away while it is open: the handle fails from then on, without harm.
    ASSERT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick"), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_NE(RegQueryValueExW(key, u"Name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    const DWORD value = 1;
    EXPECT_NE(RegSetValueExW(key, u"Name", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4), ERROR_SUCCESS);
    EXPECT_FALSE(sim::registry_key_exists(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick\\Quillon"));
    length = 4;
    EXPECT_NE(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegQueryValueExW(key, u"Name", nullptr, &type, nullptr, &size), ERROR_INVALID_HANDLE);
}

}  // namespace
