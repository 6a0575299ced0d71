// A device's answers during a firmware transfer, taken as the protocol adapter takes them: the
// reply to each start command, then status records (data replies and notifications alike). The
// transfer runs on DfuPacing and the status verdicts, as the adapter runs it, and must keep to
// its contract whatever the device says: the start command only while nothing of the image has
// gone out, packets within the image, and a bounded number of packets for answers that ask for
// nothing new.
//
// Input: [main size, u16 LE] [second image size, u16 LE, 0: none] [flags: bit 0 Bluetooth LE]
// then answers, each [n] + n bytes when n < 0x80, or [0x80 + k]: the previous answer k + 1 times
// more.
#include "DfuPacing.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

class Answers {
public:
    Answers(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    // The next answer; false when the device has nothing more to say.
    bool next(std::vector<std::uint8_t>* out)
    {
        if (m_repeat > 0) {
            --m_repeat;
            *out = m_last;
            return true;
        }
        if (m_at >= m_size)
            return false;
        const std::uint8_t n = m_data[m_at++];
        if (n >= 0x80) {
            m_repeat = n - 0x80;
            *out = m_last;
            return true;
        }
        const std::size_t take = n < m_size - m_at ? n : m_size - m_at;
        m_last.assign(m_data + m_at, m_data + m_at + take);
        m_at += take;
        *out = m_last;
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
    unsigned m_repeat = 0;
    std::vector<std::uint8_t> m_last;
};

class Transfer {
public:
    Transfer(std::uint64_t mainSize, std::uint64_t secondSize, bool bluetoothLe, Answers& answers)
        : m_main(mainSize), m_second(secondSize), m_ble(bluetoothLe), m_answers(answers)
    {
        select(secondSize > 0);
    }

    // The whole exchange: the start, then one status record after the other.
    void run()
    {
        send(0);
        std::vector<std::uint8_t> answer;
        while (m_active && m_answers.next(&answer)) {
            const auto record = readDfuStatusRecord(answer);
            if (!record)
                continue;
            m_packets_for_answer = 0;
            switch (dfuStatusVerdict(record->status)) {
            case DfuVerdict::Wait:
                break;
            case DfuVerdict::SendNext:
                send(record->packet);
                break;
            case DfuVerdict::Succeeded:
            case DfuVerdict::Failed:
                m_active = false;
                break;
            case DfuVerdict::SecondImageDone:
                select(false);
                // Over USB or a receiver the main image starts at the next connection; over
                // Bluetooth LE the adapter waits for the device with the transfer still open.
                if (!m_ble)
                    send(0);
                break;
            }
        }
    }

private:
    void select(bool second)
    {
        m_current = second ? m_second : m_main;
        m_pacing.setImage(m_current);
        check(m_pacing.offset() == 0);
        m_slots_sent = 0;
        m_run = 0;
    }

    // What the adapter's sendPacket does with the device's request.
    void send(std::uint32_t requested)
    {
        for (;;) {
            // At most the start packet and the one its reply names for any one answer.
            check(++m_packets_for_answer <= 2);
            const std::uint64_t before = m_pacing.offset();
            const DfuPacing::Packet p = m_pacing.next(requested);
            const std::uint64_t count = m_pacing.packetCount();
            check(p.begin <= p.end && p.end <= m_current && p.end - p.begin <= DfuPacing::kPacketSize);

            if (p.command == DfuPacing::Command::Start) {
                check(before == 0 && m_slots_sent == 0 && p.number == 0 && p.begin == 0);
            } else {
                check(before > 0);
                const bool fresh = p.command == DfuPacing::Command::Data && requested < count &&
                                   requested >= m_slots_sent;
                m_run = fresh ? 0 : m_run + 1;
                if (p.command == DfuPacing::Command::GiveUp) {
                    check(m_run == DfuPacing::kMaxRepeats + 1);
                    m_active = false;
                    return;
                }
                check(m_run <= DfuPacing::kMaxRepeats);
                check(p.number == requested);
                if (requested < count && static_cast<std::uint64_t>(requested) * DfuPacing::kPacketSize < m_current)
                    check(p.begin == static_cast<std::uint64_t>(requested) * DfuPacing::kPacketSize);
                else
                    check(p.begin == p.end);
            }

            std::vector<std::uint8_t> reply;
            if (p.command == DfuPacing::Command::Start) {
                m_active = true;
                // The feature fails a start reply too short to hold the status.
                if (!m_answers.next(&reply) || reply.size() < 5 ||
                    dfuStartReplyVerdict(reply[4]) == DfuVerdict::Failed) {
                    m_active = false;
                    return;
                }
            }
            m_pacing.accepted(p);
            if (p.number < count)
                m_slots_sent = m_slots_sent > p.number + 1u ? m_slots_sent : p.number + 1u;
            else if (p.command == DfuPacing::Command::Start)
                m_slots_sent = 1;
            check(m_pacing.offset() >= before);
            check(m_pacing.offset() == m_slots_sent * DfuPacing::kPacketSize);
            check(m_pacing.offset() <= (count > 0 ? count : 1) * DfuPacing::kPacketSize);

            if (p.command == DfuPacing::Command::Start && dfuStartReplyVerdict(reply[4]) == DfuVerdict::SendNext) {
                requested = readDfuStatusRecord(reply)->packet;
                continue;
            }
            return;
        }
    }

    const std::uint64_t m_main;
    const std::uint64_t m_second;
    const bool m_ble;
    Answers& m_answers;
    DfuPacing m_pacing;
    std::uint64_t m_current = 0;
    std::uint64_t m_slots_sent = 0;   // packets of the image the device has taken, counted alone
    unsigned m_run = 0;               // data packets in a row that brought nothing new
    unsigned m_packets_for_answer = 0;
    bool m_active = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    const std::uint64_t mainSize = data[0] | data[1] << 8;
    const std::uint64_t secondSize = data[2] | data[3] << 8;
    const bool ble = (data[4] & 1) != 0;
    Answers answers(data + 5, size - 5);
    Transfer(mainSize, secondSize, ble, answers).run();
    return 0;
}
