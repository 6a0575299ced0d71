// Receiver reports into a receiver without a transport: notifications make, update and remove
// paired devices; nothing may crash or leak. Input: reports, each a length byte then its bytes.
#include "Enumerator.h"
#include "Receiver.h"

#include <sim/Kernel.h>

namespace {

class Harness : public qv::CReceiver {
public:
    using CReceiver::CReceiver;
    void feed(const std::uint8_t* report, std::size_t length)
    {
        OnRead(report, length);
        OnReport(report, length);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool machine = [] {
        platform::sim::reset_machine();
        return true;
    }();
    (void)machine;
    qv::Enumerator& e = qv::Enumerator::instance();
    auto* receiver = new Harness(&e, data && size ? data[0] % 11 : 4, 0);
    const std::uint64_t handle = e.add(receiver, 0xFF);
    receiver->accept_reports();
    for (std::size_t at = 1; at < size;) {
        const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
        receiver->feed(data + at + 1, n);
        at += 1 + n;
    }
    e.remove(handle);
    return 0;
}
