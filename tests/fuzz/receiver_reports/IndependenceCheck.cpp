// The receiver_reports inputs do not depend on each other: each input's outcome is the same
// alone in a process of its own, after every other input, and after every other input in reverse
// order, so a failing input that the fuzzer saved fails again when replayed alone. Arguments:
// files or folders of inputs ("--alone FILE": print that input's outcome).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <stdio.h>
#include <unistd.h>

std::string receiver_reports_outcome(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::vector<std::uint8_t>> read_inputs(int argc, char** argv, std::vector<std::string>& paths)
{
    std::vector<std::filesystem::path> files;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (std::filesystem::is_directory(argv[i], ec)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
        } else if (std::filesystem::exists(argv[i], ec)) {
            files.emplace_back(argv[i]);
        }
    }
    std::sort(files.begin(), files.end());
    std::vector<std::vector<std::uint8_t>> inputs;
    for (const auto& f : files) {
        std::ifstream in(f, std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        paths.push_back(f.string());
    }
    return inputs;
}

std::string outcome(const std::vector<std::uint8_t>& input)
{
    return receiver_reports_outcome(input.data(), input.size());
}

// The outcome of an input run first in a fresh process (this program, asked for one input).
std::string outcome_alone(const std::string& file)
{
    const std::string command = "'/proc/" + std::to_string(::getpid()) + "/exe' --alone '" + file + "'";
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            text.append(buffer, n);
        if (::pclose(pipe) != 0)
            text += "(failed)";
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--alone") {
        std::vector<std::string> paths;
        const auto inputs = read_inputs(argc - 1, argv + 1, paths);
        const std::string text = inputs.empty() ? "(unreadable)" : outcome(inputs[0]);
        std::fwrite(text.data(), 1, text.size(), stdout);
        return 0;
    }
    std::vector<std::string> paths;
    const auto inputs = read_inputs(argc, argv, paths);
    if (inputs.size() < 2) {
        std::fprintf(stderr, "independence check: needs at least two inputs\n");
        return 1;
    }
    std::vector<std::string> forward, backward;
    for (const auto& input : inputs)
        forward.push_back(outcome(input));
    for (auto it = inputs.rbegin(); it != inputs.rend(); ++it)
        backward.insert(backward.begin(), outcome(*it));
    int failures = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const std::string alone = outcome_alone(paths[i]);
        if (forward[i] != alone || backward[i] != alone) {
            std::fprintf(stderr, "%s: outcome depends on the inputs before it:\nalone:\n%s\nin order:\n%s\nin reverse order:\n%s\n",
                         paths[i].c_str(), alone.c_str(), forward[i].c_str(), backward[i].c_str());
            ++failures;
        }
    }
    std::printf("%zu inputs, %d with an outcome that depends on others\n", inputs.size(), failures);
    return failures == 0 ? 0 : 1;
}
