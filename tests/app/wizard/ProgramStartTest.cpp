// The built program starts offscreen on a scenario and creates its debug log.
#include <sim/Kernel.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The program with its own simulated machine, ended by the test.
class Program {
public:
    Program(const std::string& machineRoot, const std::string& scenario)
    {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            if (entry.rfind("QUILLON_MACHINE_ROOT=", 0) != 0 && entry.rfind("QUILLON_SCENARIO=", 0) != 0 &&
                entry.rfind("QT_QPA_PLATFORM=", 0) != 0)
                env.push_back(entry);
        }
        env.push_back("QUILLON_MACHINE_ROOT=" + machineRoot);
        env.push_back("QUILLON_SCENARIO=" + scenario);
        env.push_back("QT_QPA_PLATFORM=offscreen");
        std::vector<char*> envp;
        for (auto& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string program = QUILLON_PROGRAM;
        char* argv[] = {program.data(), nullptr};
        m_started = posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, argv, envp.data()) == 0;
    }
    ~Program()
    {
        if (m_started && !m_exited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool started() const { return m_started; }
    // False once the program has ended on its own.
    bool running()
    {
        if (m_exited)
            return false;
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exited = true;
            m_status = status;
        }
        return !m_exited;
    }
    int status() const { return m_status; }

private:
    pid_t m_pid = 0;
    bool m_started = false;
    bool m_exited = false;
    int m_status = 0;
};

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

std::string makeRoot()
{
    char pattern[] = "/tmp/quillon-start-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return made ? made : "";
}

}  // namespace

TEST(ProgramStart, RunsOffscreenOnTheDefaultScenarioAndOpensItsLog)
{
    const std::string root = makeRoot();
    ASSERT_FALSE(root.empty());
    platform::sim::set_machine_root(root);
    const std::string log = platform::sim::host_path("C:\\Users\\User\\AppData\\Local\\Temp\\Ravelin\\Quillon.log");

    Program program(root, QUILLON_DEFAULT_SCENARIO);
    ASSERT_TRUE(program.started());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fileExists(log) && program.running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(fileExists(log)) << log;
    EXPECT_TRUE(program.running()) << "ended with status " << program.status();
    std::system(("rm -rf '" + root + "'").c_str());
}

TEST(ProgramStart, BadScenarioIsRefusedWithAMessage)
{
    const std::string root = makeRoot();
    ASSERT_FALSE(root.empty());
    const std::string scenario = root + "/broken.xml";
    std::ofstream(scenario) << "<scenario><device kind=\"no-such-kind\"/>";
    Program program(root, scenario);
    ASSERT_TRUE(program.started());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (program.running() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(program.running());
    EXPECT_TRUE(WIFEXITED(program.status()));
    EXPECT_EQ(WEXITSTATUS(program.status()), 2);
    std::system(("rm -rf '" + root + "'").c_str());
}
