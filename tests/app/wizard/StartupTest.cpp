// Start-up and quit on the simulated machine: Windows 7 elevation and the driver-search setting.
#include "startup/Lifecycle.h"
#include "startup/ProcessEnd.h"
#include "startup/Startup.h"

#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace sim = platform::sim;

namespace {

const char* const kDriverKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\DriverSearching";
const char* const kBackupKey = "SOFTWARE\\Tarnwick\\Quillon";
const char* const kValue = "SearchOrderConfig";
const char* const kProgram = "C:\\Program Files\\Quillon\\Quillon.exe";

struct Ends {
    std::vector<std::pair<ProcessEnd, int>> calls;
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        sim::reset_machine();
        setProcessEndHook([this](ProcessEnd how, int code) { ends.calls.emplace_back(how, code); });
    }
    void TearDown() override { setProcessEndHook(nullptr); }

    static std::optional<DWORD> machineValue()
    {
        DWORD v = 0;
        if (sim::registry_get_dword(HKEY_LOCAL_MACHINE, kDriverKey, kValue, v))
            return v;
        return std::nullopt;
    }
    static std::optional<DWORD> backupValue()
    {
        DWORD v = 0;
        if (sim::registry_get_dword(HKEY_CURRENT_USER, kBackupKey, kValue, v))
            return v;
        return std::nullopt;
    }

    Ends ends;
};

// A fresh machine carries "SearchOrderConfig"; some rows need it gone.
void deleteMachineValue()
{
    const sim::Security saved = sim::security();
    sim::set_security(sim::Security{true, true, true, true});
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kDriverKey, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    RegDeleteValueA(key, kValue);
    RegCloseKey(key);
    sim::set_security(saved);
}

struct Row {
    const char* name;
    bool windows7;
    sim::Security security;
    std::optional<DWORD> valueBefore;   // "SearchOrderConfig" under HKLM
    std::optional<DWORD> staleBackup;   // left by a run that crashed
    // Expected
    bool relaunched;
    bool continues;                     // false: ends after the elevated copy ran
    std::optional<DWORD> valueWhileRunning;
    std::optional<DWORD> backupWhileRunning;
    std::optional<DWORD> valueAfterQuit;
    bool backupKeyAfterQuit;
};

}  // namespace

TEST_F(StartupTest, WindowsSevenTable)
{
    using S = sim::Security;
    //                       administrator elevated uac consent
    const S elevated{true, true, true, true};
    const S limitedConsent{true, false, true, true};
    const S limitedRefused{true, false, true, false};
    const S uacOffAdmin{true, false, false, true};
    const S uacOffUser{false, false, false, true};
    const std::nullopt_t none = std::nullopt;
    const Row rows[] = {
        {"elevated, value present", true, elevated, 2u, none, false, true, 0u, 2u, 2u, false},
        {"elevated, value absent: deleted again at quit", true, elevated, none, none, false, true, 0u, none, none,
         false},
        {"limited, consent given: elevated copy runs, this one ends", true, limitedConsent, 2u, none, true, false, 2u,
         none, 2u, false},
        {"limited, consent refused: runs without touching the registry", true, limitedRefused, 2u, none, false, true,
         2u, none, 2u, false},
        {"UAC off, administrator: already elevated", true, uacOffAdmin, 1u, none, false, true, 0u, 1u, 1u, false},
        {"UAC off, not an administrator: no relaunch, no access", true, uacOffUser, 1u, none, false, true, 1u, none,
         1u, false},
        {"stale backup kept over our 0", true, elevated, 0u, 2u, false, true, 0u, 2u, 2u, false},
        {"stale backup survives a run without write access", true, limitedRefused, 0u, 2u, false, true, 0u, 2u, 0u,
         true},
        {"Windows 10 touches nothing", false, limitedConsent, 2u, none, false, true, 2u, none, 2u, false},
        {"Windows 10, stale backup untouched", false, elevated, 0u, 2u, false, true, 0u, 2u, 0u, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        sim::reset_machine();
        ends.calls.clear();
        sim::set_os_version(r.windows7 ? sim::OsVersion{6, 1, 7601} : sim::OsVersion{});
        sim::set_security(r.security);
        if (r.valueBefore)
            sim::registry_set_dword(HKEY_LOCAL_MACHINE, kDriverKey, kValue, *r.valueBefore);
        else
            deleteMachineValue();
        if (r.staleBackup)
            sim::registry_set_dword(HKEY_CURRENT_USER, kBackupKey, kValue, *r.staleBackup);

        const bool continues = prepareProcess(kProgram);
        EXPECT_EQ(continues, r.continues);
        const auto launches = sim::shell_launches();
        ASSERT_EQ(launches.size(), r.relaunched ? 1u : 0u);
        if (r.relaunched) {
            EXPECT_EQ(launches[0].verb, "runas");
            EXPECT_EQ(launches[0].file, kProgram);
            EXPECT_EQ(launches[0].show, SW_SHOWNORMAL);
        }
        if (!r.continues) {
            ASSERT_EQ(ends.calls.size(), 1u);
            EXPECT_EQ(ends.calls[0].first, ProcessEnd::Orderly);
            EXPECT_EQ(ends.calls[0].second, 0);
        } else {
            EXPECT_TRUE(ends.calls.empty());
        }
        EXPECT_EQ(machineValue(), r.valueWhileRunning);
        EXPECT_EQ(backupValue(), r.backupWhileRunning);
        if (!r.continues)
            continue;

        onAboutToQuit();
        ASSERT_EQ(ends.calls.size(), 1u);
        EXPECT_EQ(ends.calls[0].first, ProcessEnd::Immediate);
        EXPECT_EQ(ends.calls[0].second, 0);
        EXPECT_EQ(machineValue(), r.valueAfterQuit);
        EXPECT_EQ(sim::registry_key_exists(HKEY_CURRENT_USER, kBackupKey), r.backupKeyAfterQuit);
    }
}

TEST_F(StartupTest, CrashBetweenTwoRunsKeepsTheUsersValue)
{
    sim::set_os_version(sim::OsVersion{6, 1, 7601});
    sim::set_security(sim::Security{true, true, true, true});
    sim::registry_set_dword(HKEY_LOCAL_MACHINE, kDriverKey, kValue, 3);
    ASSERT_TRUE(prepareProcess(kProgram));
    // The first run dies here; the second starts over the state it left.
    ASSERT_TRUE(prepareProcess(kProgram));
    EXPECT_EQ(machineValue(), std::optional<DWORD>(0));
    EXPECT_EQ(backupValue(), std::optional<DWORD>(3));
    onAboutToQuit();
    EXPECT_EQ(machineValue(), std::optional<DWORD>(3));
    EXPECT_FALSE(sim::registry_key_exists(HKEY_CURRENT_USER, kBackupKey));
}

TEST_F(StartupTest, AbsentValueSurvivesACrashAsAbsent)
{
    sim::set_os_version(sim::OsVersion{6, 1, 7601});
    sim::set_security(sim::Security{true, true, true, true});
    deleteMachineValue();
    ASSERT_TRUE(prepareProcess(kProgram));
    ASSERT_TRUE(prepareProcess(kProgram));
    EXPECT_EQ(machineValue(), std::optional<DWORD>(0));
    onAboutToQuit();
    EXPECT_EQ(machineValue(), std::nullopt);
    EXPECT_FALSE(sim::registry_key_exists(HKEY_CURRENT_USER, kBackupKey));
}

TEST_F(StartupTest, ElevationOfTheProcessToken)
{
    struct R {
        const char* name;
        sim::Security security;
        bool elevated;
    };
    const R rows[] = {
        {"elevated", {true, true, true, true}, true},
        {"limited administrator", {true, false, true, true}, false},
        {"administrator without UAC", {true, false, false, true}, true},
        {"user without UAC", {false, false, false, true}, false},
    };
    for (const R& r : rows) {
        SCOPED_TRACE(r.name);
        sim::set_security(r.security);
        EXPECT_EQ(isProcessElevated(), r.elevated);
    }
}

TEST_F(StartupTest, WindowsVersionsAndRuntime)
{
    struct R {
        sim::OsVersion version;
        bool seven;
    };
    const R rows[] = {{{6, 1, 7601}, true}, {{6, 1, 7600}, true}, {{6, 2, 9200}, false},
                      {{6, 0, 6002}, false}, {{10, 0, 19045}, false}};
    for (const R& r : rows) {
        SCOPED_TRACE(r.version.major * 100 + r.version.minor);
        sim::set_os_version(r.version);
        EXPECT_EQ(isWindows7(), r.seven);
    }
    // Start-up initialises the Windows Runtime where the machine has it, and skips it otherwise.
    const bool runtime = sim::module_registered("combase.dll");
    EXPECT_EQ(winrt_available(), runtime);
    if (runtime)
        EXPECT_GE(ro_initialize(1), 0);
    else
        EXPECT_EQ(ro_initialize(1), static_cast<HRESULT>(0x80004005u));
}
