#pragma once
// The golden wire table: rows of (feature, the replies the device gives, a call of one
// operation, the exact requests it must put on the wire, what the call reports). Each feature
// family keeps its rows in a file of its own (GoldenWire<family>.cpp) that adds them at start-up
// through GoldenRows; the parameterised test and the feature fuzz target both walk them.
// Free of GoogleTest, so the fuzz target links the same rows.
#include "FakeDevice.h"

#include "features/IFeature.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

namespace devio::test {

// One request as the device must see it.
struct Wire {
    unsigned function = 0;
    std::vector<Byte> params;
    std::uint32_t kind = 0;
    bool written = false; // only written, no reply awaited
};

struct GoldenRow {
    std::string name;
    std::uint16_t feature = 0;
    // Reply payloads, one per request in order (under 3 bytes: zero-filled to a short report's
    // 3); a request beyond them gets no answer (code 4).
    std::vector<std::vector<Byte>> replies;
    // Calls one operation on the feature and reports the outcome (see outcome()).
    std::function<std::string(const std::shared_ptr<IFeature>&)> call;
    std::vector<Wire> sent;
    std::string expected;
};

// Every row added so far, in order of addition.
std::vector<GoldenRow>& golden_rows();
// A static GoldenRows in a rows file adds that file's rows.
struct GoldenRows {
    explicit GoldenRows(std::vector<GoldenRow> rows);
};

// The feature index and software id the rows run with.
constexpr std::uint8_t kGoldenIndex = 0x07;
constexpr std::uint32_t kGoldenSoftwareId = 3;

struct GoldenRun {
    std::string result;
    std::vector<FakeDevice::Sent> log;
};
// Runs `row`'s call on a fresh feature whose device answers with `replies`.
GoldenRun run_golden(const GoldenRow& row, const std::vector<std::vector<Byte>>& replies);
// The command a Wire stands for, framed as the base frames it.
std::vector<Byte> golden_command(const Wire& wire);

// Reply and parameter bytes of the rows: `n` bytes counting up from `from`; two lists joined.
inline std::vector<Byte> seq(Byte from, std::size_t n)
{
    std::vector<Byte> b;
    for (std::size_t k = 0; k < n; ++k)
        b.push_back(static_cast<Byte>(from + k));
    return b;
}
inline std::vector<Byte> cat(std::vector<Byte> a, const std::vector<Byte>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <class I>
std::shared_ptr<I> as(const std::shared_ptr<IFeature>& feature)
{
    return std::dynamic_pointer_cast<I>(feature);
}

namespace detail {
inline void put(std::ostringstream& out, bool v) { out << (v ? 1 : 0); }
inline void put(std::ostringstream& out, const std::string& v) { out << '"' << v << '"'; }
inline void put(std::ostringstream& out, float v) { out << v; }
template <class T, std::enable_if_t<std::is_integral_v<T> || std::is_enum_v<T>, int> = 0>
void put(std::ostringstream& out, T v)
{
    out << static_cast<long long>(v);
}
template <class T>
void put(std::ostringstream& out, const std::vector<T>& v)
{
    out << '[';
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (i)
            out << ',';
        put(out, v[i]);
    }
    out << ']';
}
} // namespace detail

// "false <last error code>" for a failed call; otherwise "true" and the values, space-separated
// (bools as 0/1, vectors as [a,b], strings quoted).
template <class... V>
std::string outcome(bool ok, const V&... values)
{
    std::ostringstream out;
    if (!ok) {
        out << "false " << last_error().code;
        return out.str();
    }
    out << "true";
    ((out << ' ', detail::put(out, values)), ...);
    return out.str();
}

// The values alone, space-separated, for outputs written whatever the result.
template <class... V>
std::string fields(const V&... values)
{
    std::ostringstream out;
    bool first = true;
    ((out << (first ? "" : " "), first = false, detail::put(out, values)), ...);
    return out.str();
}

} // namespace devio::test
