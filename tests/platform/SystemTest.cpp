// Registry, files, profile strings, code pages, modules, version and security of the stand-in.
#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <sim/FileFaults.h>
#include <sim/Kernel.h>
#include <versionhelpers.h>

#include "KernelObject.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

namespace sim = platform::sim;

class SystemTest : public ::testing::Test {
protected:
    void SetUp() override { sim::reset_machine(); }
};

// --- registry ---
TEST_F(SystemTest, RegistryRoundTripsStringsAndNumbersWithSizeProbes) {
    sim::set_security({true, true, true, true});  // elevated: HKLM is writable
    HKEY key;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\TARNWICK\\RAVELIN", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    const char16_t path[] = u"C:\\Firmware";
    ASSERT_EQ(RegSetValueExW(key, u"DFUBinaryPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path),
              ERROR_SUCCESS);
    DWORD level = 0xC;
    ASSERT_EQ(RegSetValueExA(key, "LoggingLevel", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&level), 4), ERROR_SUCCESS);
    RegCloseKey(key);

    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\tarnwick\\ravelin", 0, KEY_READ, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"dfubinarypath", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, sizeof path);
    std::vector<BYTE> small(4);
    DWORD smallSize = 4;
    EXPECT_EQ(RegQueryValueExW(key, u"DFUBinaryPath", nullptr, nullptr, small.data(), &smallSize), ERROR_MORE_DATA);
    EXPECT_EQ(smallSize, sizeof path);
    char narrow[64] = {};
    size = sizeof narrow;
    ASSERT_EQ(RegQueryValueExA(key, "DFUBinaryPath", nullptr, &type, reinterpret_cast<LPBYTE>(narrow), &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(narrow, "C:\\Firmware");
    DWORD read = 0;
    size = 4;
    ASSERT_EQ(RegQueryValueExW(key, u"LoggingLevel", nullptr, &type, reinterpret_cast<LPBYTE>(&read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(read, 0xCu);
    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    // A key opened for reading cannot be written.
    EXPECT_EQ(RegSetValueExW(key, u"x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&read), 4), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Nobody", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
}

TEST_F(SystemTest, RegistryEnumeratesSubKeysInCaseInsensitiveOrder) {
    for (const char* name : {"beta", "Alpha", "gamma"}) sim::registry_set_dword(HKEY_LOCAL_MACHINE, std::string("SYSTEM\\Enum\\") + name, "v", 1);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\Enum", 0, KEY_ENUMERATE_SUB_KEYS, &key), ERROR_SUCCESS);
    std::vector<std::u16string> names;
    for (DWORD i = 0;; ++i) {
        WCHAR name[256];
        DWORD length = 256;
        LSTATUS status = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        names.emplace_back(name, length);
    }
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));
    WCHAR tiny[3];
    DWORD length = 3;
    EXPECT_EQ(RegEnumKeyExW(key, 0, tiny, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    RegCloseKey(key);
}

TEST_F(SystemTest, MachineKeysNeedAnElevatedTokenForWriting) {
    HKEY key;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DriverSearching", 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DriverSearching", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    sim::set_security({true, false, false, true});  // administrator with UAC off: full token
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DriverSearching", 0,
                            KEY_ALL_ACCESS, &key),
              ERROR_SUCCESS);
    RegCloseKey(key);
    DWORD lua = 1;
    ASSERT_TRUE(sim::registry_get_dword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System",
                                        "EnableLUA", lua));
    EXPECT_EQ(lua, 0u);
}

TEST_F(SystemTest, ShellRegistryHelpersPreferUserValuesFallBackToDefaultsAndDeleteTrees) {
    DWORD value = 7;
    ASSERT_EQ(SHRegSetUSValueA("SOFTWARE\\Tarnwick\\Quillon", "SearchOrderConfig", REG_DWORD, &value, 4,
                               SHREGSET_FORCE_HKCU),
              ERROR_SUCCESS);
    DWORD read = 0, size = 4, type = 0, fallback = 0;
    ASSERT_EQ(SHRegGetUSValueA("SOFTWARE\\Tarnwick\\Quillon", "SearchOrderConfig", &type, &read, &size, FALSE, &fallback,
                               4),
              ERROR_SUCCESS);
    EXPECT_EQ(read, 7u);
    sim::registry_set_dword(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick\\Quillon\\Sub", "x", 1);
    ASSERT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick\\Quillon"), ERROR_SUCCESS);
    EXPECT_FALSE(sim::registry_key_exists(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick\\Quillon"));
    EXPECT_EQ(SHDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Tarnwick\\Quillon"), ERROR_FILE_NOT_FOUND);
    read = 99;
    size = 4;
    fallback = 0;
    EXPECT_EQ(SHRegGetUSValueA("SOFTWARE\\Tarnwick\\Quillon", "SearchOrderConfig", &type, &read, &size, FALSE, &fallback,
                               4),
              ERROR_SUCCESS);
    EXPECT_EQ(read, 0u);
    EXPECT_NE(SHRegGetUSValueA("SOFTWARE\\Tarnwick\\Quillon", "SearchOrderConfig", &type, &read, &size, FALSE, nullptr, 0),
              ERROR_SUCCESS);
}

// --- files ---
TEST_F(SystemTest, FilesRoundTripUnderTheMachineRootWithCaseInsensitivePaths) {
    ASSERT_TRUE(CreateDirectoryA("C:\\ProgramData\\Ravelin", nullptr));
    EXPECT_FALSE(CreateDirectoryA("C:\\ProgramData\\ravelin", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    HANDLE f = CreateFileW(u"C:\\ProgramData\\Ravelin\\log.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(f, "hello\r\n", 7, &written, nullptr));
    EXPECT_EQ(written, 7u);
    EXPECT_EQ(GetFileSize(f, nullptr), 7u);
    CloseHandle(f);
    std::string content;
    ASSERT_TRUE(sim::read_file("c:/programdata/RAVELIN/LOG.TXT", content));
    EXPECT_EQ(content, "hello\r\n");

    f = CreateFileW(u"C:\\PROGRAMDATA\\ravelin\\Log.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileSize(f, nullptr), 0u);  // emptied
    CloseHandle(f);

    EXPECT_EQ(CreateFileW(u"C:\\ProgramData\\Ravelin\\none.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(CreateFileW(u"C:\\NoFolder\\none.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(u"C:\\ProgramData\\Ravelin") & FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_DIRECTORY);
    // The long form \\?\C:\... names an ordinary file.
    f = CreateFileW(u"\\\\?\\C:\\ProgramData\\Ravelin\\log.txt", GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
}

TEST_F(SystemTest, AppendOnlyHandleWritesAtTheEndWhereverItsPosition) {
    ASSERT_TRUE(sim::write_file("C:\\ProgramData\\log.txt", "abc"));
    HANDLE f = CreateFileW(u"C:\\ProgramData\\log.txt", GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // Reading the tail moves the position; the appended text still lands at the end.
    EXPECT_EQ(SetFilePointer(f, -2, nullptr, FILE_END), 1u);
    char tail[2] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(f, tail, 2, &n, nullptr));
    EXPECT_EQ(std::string(tail, n), "bc");
    SetFilePointer(f, 0, nullptr, FILE_BEGIN);
    ASSERT_TRUE(WriteFile(f, "de", 2, &n, nullptr));
    CloseHandle(f);
    std::string content;
    ASSERT_TRUE(sim::read_file("C:\\ProgramData\\log.txt", content));
    EXPECT_EQ(content, "abcde");
}

TEST_F(SystemTest, ShareModesAreHonouredBetweenHandles) {
    ASSERT_TRUE(sim::write_file("C:\\data.bin", "abc"));
    HANDLE exclusive = CreateFileW(u"C:\\data.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(u"C:\\data.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileW(u"C:\\data.bin"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(exclusive);

    HANDLE reader = CreateFileW(u"C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE second = CreateFileW(u"C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(second, INVALID_HANDLE_VALUE);
    // A writer conflicts with the readers' share mode, and a truncating open must not empty the file.
    EXPECT_EQ(CreateFileW(u"C:\\data.bin", GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr),
              INVALID_HANDLE_VALUE);
    char buffer[8] = {};
    DWORD n = 0;
    ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "abc");
    ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(n, 0u);  // end of file
    CloseHandle(reader);
    CloseHandle(second);
    EXPECT_TRUE(DeleteFileW(u"C:\\data.bin"));
    EXPECT_EQ(GetFileAttributesW(u"C:\\data.bin"), INVALID_FILE_ATTRIBUTES);
}

// Writes a file through a handle; flushed when asked.
bool write_through_handle(const char16_t* name, const std::string& text, bool flush) {
    HANDLE f = CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD n = 0;
    bool ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) && n == text.size();
    if (flush) ok = FlushFileBuffers(f) && ok;
    CloseHandle(f);
    return ok;
}

TEST_F(SystemTest, APowerCutKeepsFlushedDataAndMovesWrittenThrough) {
    struct Case {
        const char* name;
        bool flush;
        DWORD moveFlags;
        const char* file;       // paired.xml after the cut
        bool temporaryBack;     // the moved file is back under its old name
    };
    const Case cases[] = {
        {"flushed, written through", true, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, "new", false},
        {"not flushed", false, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH, "", false},
        {"move not written through", true, MOVEFILE_REPLACE_EXISTING, "old", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim::reset_machine();
        ASSERT_TRUE(sim::write_file("C:\\Data\\paired.xml", "old"));
        ASSERT_TRUE(write_through_handle(u"C:\\Data\\paired.xml.tmp", "new", c.flush));
        ASSERT_TRUE(MoveFileExW(u"C:\\Data\\paired.xml.tmp", u"C:\\Data\\paired.xml", c.moveFlags));
        std::string content;
        ASSERT_TRUE(sim::read_file("C:\\Data\\paired.xml", content));
        EXPECT_EQ(content, "new");  // until the power goes

        sim::cut_power();
        content.clear();
        EXPECT_TRUE(sim::read_file("C:\\Data\\paired.xml", content));
        EXPECT_EQ(content, c.file);
        EXPECT_EQ(GetFileAttributesW(u"C:\\Data\\paired.xml.tmp") != INVALID_FILE_ATTRIBUTES, c.temporaryBack);
        // What survived a cut survives the next.
        sim::cut_power();
        content.clear();
        EXPECT_TRUE(sim::read_file("C:\\Data\\paired.xml", content));
        EXPECT_EQ(content, c.file);
    }
    // A move written through settles the moves before it.
    sim::reset_machine();
    ASSERT_TRUE(CreateDirectoryA("C:\\Data", nullptr));
    ASSERT_TRUE(write_through_handle(u"C:\\Data\\a", "a", true));
    ASSERT_TRUE(write_through_handle(u"C:\\Data\\b", "b", true));
    ASSERT_TRUE(MoveFileExW(u"C:\\Data\\a", u"C:\\Data\\a2", 0));
    ASSERT_TRUE(MoveFileExW(u"C:\\Data\\b", u"C:\\Data\\b2", MOVEFILE_WRITE_THROUGH));
    sim::cut_power();
    EXPECT_NE(GetFileAttributesW(u"C:\\Data\\a2"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(u"C:\\Data\\a"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SystemTest, ReadAndFlushFaultsFailTheirCallsAndFlushingNeedsWriteAccess) {
    ASSERT_TRUE(sim::write_file("C:\\data.bin", "abc"));
    HANDLE reader = CreateFileW(u"C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    // Flushing needs write access, as on Windows.
    EXPECT_FALSE(FlushFileBuffers(reader));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    char buffer[8] = {};
    DWORD n = 7;
    sim::set_file_reads_fail(true);
    EXPECT_FALSE(ReadFile(reader, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_READ_FAULT));
    EXPECT_EQ(n, 0u);
    sim::set_file_reads_fail(false);
    ASSERT_TRUE(ReadFile(reader, buffer, sizeof buffer, &n, nullptr));
    EXPECT_EQ(std::string(buffer, n), "abc");
    CloseHandle(reader);

    HANDLE writer = CreateFileW(u"C:\\data.bin", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(WriteFile(writer, "xyz", 3, &n, nullptr));
    sim::set_file_flushes_fail(true);
    EXPECT_FALSE(FlushFileBuffers(writer));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_DEVICE));
    sim::set_file_flushes_fail(false);
    EXPECT_TRUE(FlushFileBuffers(writer));
    CloseHandle(writer);
}

TEST_F(SystemTest, FindListsMatchingNamesSortedCaseInsensitively) {
    for (const char* name : {"b.xml", "A.xml", "c.txt", "C.xml"}) ASSERT_TRUE(sim::write_file(std::string("C:\\Fw\\") + name, ""));
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(u"C:\\Fw\\*.xml", &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    std::vector<std::u16string> names{data.cFileName};
    while (FindNextFileW(find, &data)) names.emplace_back(data.cFileName);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    EXPECT_EQ(names, (std::vector<std::u16string>{u"A.xml", u"b.xml", u"C.xml"}));
    EXPECT_EQ(FindFirstFileW(u"C:\\Fw\\*.bin", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SystemTest, TemporaryAndKnownFoldersExistAndTempNamesAreUnique) {
    WCHAR temp[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, temp);
    ASSERT_GT(n, 0u);
    EXPECT_EQ(temp[n - 1], u'\\');
    EXPECT_EQ(GetTempPathW(2, temp), n + 1);  // too small: the size needed
    GetTempPathW(MAX_PATH, temp);
    WCHAR first[MAX_PATH], second[MAX_PATH];
    ASSERT_NE(GetTempFileNameW(temp, u"", 0, first), 0u);
    ASSERT_NE(GetTempFileNameW(temp, u"", 0, second), 0u);
    EXPECT_NE(std::u16string(first), std::u16string(second));
    EXPECT_NE(GetFileAttributesW(first), INVALID_FILE_ATTRIBUTES);  // created empty
    EXPECT_EQ(GetTempFileNameW(u"C:\\NoSuchFolder", u"", 0, first), 0u);

    WCHAR common[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_COMMON_APPDATA, nullptr, SHGFP_TYPE_CURRENT, common), S_OK);
    EXPECT_EQ(std::u16string(common), u"C:\\ProgramData");
    WCHAR module[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, module, MAX_PATH), 0u);
    EXPECT_EQ(std::u16string(module), u"C:\\Program Files\\Quillon\\Quillon.exe");
    EXPECT_EQ(GetModuleFileNameW(nullptr, module, 4), 4u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(module[3], 0);
}

TEST_F(SystemTest, ProfileStringsMatchSectionsAndKeysIgnoringCaseAndSpaces) {
    ASSERT_TRUE(sim::write_file("C:\\ProgramData\\d.ini",
                                "; descriptor\r\n[Device]\r\n Name = \"Wireless Keyboard\" \r\nVersion=12.01\r\n"
                                "[Other]\r\nName=x\r\n"));
    const WCHAR* file = u"C:\\ProgramData\\d.ini";
    WCHAR out[256];
    EXPECT_EQ(GetPrivateProfileStringW(u"device", u"NAME", u"", out, 256, file), 17u);
    EXPECT_EQ(std::u16string(out), u"Wireless Keyboard");
    EXPECT_EQ(GetPrivateProfileStringW(u"Device", u"Missing", u"dflt", out, 256, file), 4u);
    EXPECT_EQ(std::u16string(out), u"dflt");
    EXPECT_EQ(GetPrivateProfileStringW(u"Device", u"Version", u"", out, 4, file), 3u);  // cut to fit
    EXPECT_EQ(std::u16string(out), u"12.");
    EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, u"", out, 256, file), 13u);
    EXPECT_EQ(std::u16string(out, 13), std::u16string(u"Device\0Other\0", 13));
    EXPECT_EQ(GetPrivateProfileStringW(u"Device", u"Name", u"none", out, 256, u"C:\\missing.ini"), 4u);
    EXPECT_EQ(GetPrivateProfileIntW(u"Device", u"Version", 5, file), 12u);
}

// --- code pages ---
TEST_F(SystemTest, Utf8ConversionsProbeSizesAndRejectInvalidInput) {
    const char* text = "K\xc3\xa9y \xf0\x9f\x94\x91";  // "Kéy " + U+1F511
    int needed = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    ASSERT_EQ(needed, 7);  // K é y space, surrogate pair, NUL
    std::vector<WCHAR> wide(static_cast<size_t>(needed));
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), needed), needed);
    EXPECT_EQ(wide[4], 0xD83D);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(bytes, static_cast<int>(std::strlen(text)) + 1);
    std::string back(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, &back[0], bytes, nullptr, nullptr);
    EXPECT_STREQ(back.c_str(), text);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xff", 2, nullptr, 0), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xff", 2, nullptr, 0), 2);  // replaced, not dropped
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"x", 1, nullptr, 0, "?", nullptr), 0);
}

// --- modules ---
INT_PTR fortyTwo() { return 42; }

TEST_F(SystemTest, ModulesLoadByNameCountUseAndCanBeMadeAbsent) {
    platform::detail::register_module("quillontest.dll", {{"Answer", reinterpret_cast<FARPROC>(&fortyTwo)}});
    HMODULE m = LoadLibraryW(u"C:\\Windows\\System32\\QuillonTest.DLL");
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(LoadLibraryW(u"quillontest"), m);
    EXPECT_EQ(sim::module_load_count("quillontest.dll"), 2u);
    FARPROC answer = GetProcAddress(m, "Answer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(GetProcAddress(m, "answer"), nullptr);  // entry names are case-sensitive
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    sim::set_entry_absent("quillontest.dll", "Answer", true);
    EXPECT_EQ(GetProcAddress(m, "Answer"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_EQ(sim::module_lookup_count("quillontest.dll", "Answer"), 2u);
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_TRUE(FreeLibrary(m));
    EXPECT_EQ(sim::module_reference_count("quillontest.dll"), 0);
    sim::set_module_absent("quillontest.dll", true);
    EXPECT_EQ(LoadLibraryExW(u"quillontest.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryW(u"nothing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

// --- version and security ---
TEST_F(SystemTest, VersionChecksCompareMajorMinorAndServicePackAsOneVersion) {
    // As on Windows 8.1 and later, a process sees Windows 10 only when its manifest declares it.
    sim::declare_manifest("");
    EXPECT_FALSE(IsWindows10OrGreater());
    EXPECT_TRUE(IsWindows8OrGreater());  // told 6.2
    sim::declare_manifest(R"(<supportedOS Id="{8E0F7A12-BFB3-4FE8-B9A5-48FD50A15A9A}"/>)");
    EXPECT_TRUE(IsWindows10OrGreater());
    EXPECT_TRUE(IsWindows7OrGreater());  // 10.0 is at least 6.1
    sim::set_os_version({6, 1, 7601, 1, 0, VER_NT_WORKSTATION});
    EXPECT_FALSE(IsWindows8OrGreater());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OLD_WIN_VERSION));
    EXPECT_TRUE(IsWindows7OrGreater());
    OSVERSIONINFOEXW info{};
    info.dwOSVersionInfoSize = sizeof info;
    info.dwMajorVersion = 6;
    info.dwMinorVersion = 1;
    DWORDLONG mask = VerSetConditionMask(VerSetConditionMask(0, VER_MAJORVERSION, VER_EQUAL), VER_MINORVERSION, VER_EQUAL);
    EXPECT_TRUE(VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION, mask));
    sim::declare_manifest("");
}

bool elevated() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && size == 4;
    CloseHandle(token);
    return ok && elevation.TokenIsElevated == 1;
}

bool administrator() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                  &admins))
        return false;
    BOOL member = FALSE;
    BOOL ok = CheckTokenMembership(nullptr, admins, &member);
    FreeSid(admins);
    return ok && member;
}

TEST_F(SystemTest, TokenElevationAndAdministratorMembershipFollowTheConfiguredUser) {
    EXPECT_FALSE(elevated());  // default: administrator behind UAC, not elevated
    EXPECT_FALSE(administrator());
    sim::set_security({true, true, true, true});
    EXPECT_TRUE(elevated());
    EXPECT_TRUE(administrator());
    sim::set_security({true, false, false, true});
    EXPECT_TRUE(elevated());
    EXPECT_TRUE(administrator());
    sim::set_security({false, false, false, true});
    EXPECT_FALSE(elevated());
    EXPECT_FALSE(administrator());
}

TEST_F(SystemTest, RunasRelaunchIsRecordedOrRefusedByConsent) {
    SHELLEXECUTEINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpVerb = "runas";
    info.lpFile = "C:\\Program Files\\Quillon\\Quillon.exe";
    info.nShow = SW_SHOWNORMAL;
    ASSERT_TRUE(ShellExecuteExA(&info));
    DWORD pid = GetProcessId(info.hProcess);
    EXPECT_NE(pid, 0u);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, INFINITE), WAIT_OBJECT_0);
    CloseHandle(info.hProcess);
    auto launches = sim::shell_launches();
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].verb, "runas");
    EXPECT_EQ(launches[0].processId, pid);

    sim::set_security({true, false, true, false});
    info.hProcess = nullptr;
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANCELLED));
    EXPECT_EQ(info.hProcess, nullptr);
    EXPECT_EQ(sim::shell_launches().size(), 1u);
}

}  // namespace
