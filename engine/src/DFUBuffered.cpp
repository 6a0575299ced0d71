#include "DFUBuffered.h"

#include "EventHolder.h"
#include "HidDevice.h"

#include <cstring>

namespace qv {

namespace {

constexpr std::uint8_t kEraseAll = 0, kCommit = 1, kOpenPage = 2, kEndOfUpdate = 3;
constexpr std::size_t kPageRecords = 8;

}  // namespace

int CDFUWrenHid::Erase()
{
    std::uint8_t reply[33] = {};
    const std::uint8_t op = kEraseAll;
    // No reply at all lets the update go on; a wrong one does not.
    if (!command(kBuffer, 0, 1, &op, reply, 2000))
        return QV_SUCCESS;
    return reply[1] == kBuffer ? QV_SUCCESS : QV_GENERIC_DFU_ERROR;
}

int CDFUWrenHid::Program(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress)
{
    for (std::size_t first = 0; first < records.size(); first += kPageRecords) {
        std::uint8_t reply[33] = {};
        const std::uint8_t open = kOpenPage;
        if (!command(kBuffer, 0, 1, &open, reply, 100) || reply[1] != kBuffer)
            return QV_GENERIC_DFU_ERROR;
        const std::size_t end = std::min(records.size(), first + kPageRecords);
        for (std::size_t k = first; k < end; ++k) {
            std::uint8_t data[16];
            std::memset(data, 0xFF, sizeof data);
            std::memcpy(data, records[k].data, records[k].length);
            std::memset(reply, 0, sizeof reply);
            // Only the data goes: the page's place in the buffer is its offset.
            if (!command(kSignature, static_cast<std::uint16_t>((k - first) * 16), 16, data, reply, 50) ||
                reply[1] != kSignature)
                return QV_GENERIC_DFU_ERROR;
            record_written(k, progress);
        }
        const std::uint8_t commit = kCommit;
        std::memset(reply, 0, sizeof reply);
        if (!command(kBuffer, records[first].address, 1, &commit, reply, 50) || reply[1] != kBuffer)
            return QV_GENERIC_DFU_ERROR;
    }
    int kept = QV_SUCCESS;
    if (m_haveSignature && !m_signature.empty()) {
        progress.set_step(signature_step(m_signature.size(), records.size(), progress));
        kept = WriteSignature(m_signature, device, progress);
    } else {
        no_signature(progress);
    }
    milestone(3);
    std::uint8_t reply[33] = {};
    const std::uint8_t done = kEndOfUpdate;
    if (!command(kBuffer, 0, 1, &done, reply, m_haveSignature ? 30000 : 1000) || reply[1] != kBuffer)
        return QV_GENERIC_DFU_ERROR;
    finished(progress);
    return kept;
}

int CDFUWrenHid::WriteSignature(const std::vector<ImageRecord>& records, CHidDevice&, Progress& progress)
{
    for (const auto& r : records) {
        std::uint8_t reply[33] = {};
        if (!command(kSignatureBuffered, r.address, r.length, r.data, reply, 50))
            return QV_GENERIC_DFU_ERROR;
        if (reply[1] != kSignatureBuffered)
            return QV_DEVICE_ERROR;
        signature_record(progress);
    }
    signatures_written(records.size(), progress);
    return QV_SUCCESS;
}

int CDFUWrenHid::ReadBootloaderVersion(VersionRecord& out)
{
    if (CDFUPureHid::ReadBootloaderVersion(out) == QV_SUCCESS)
        return QV_SUCCESS;
    // A bootloader that tells nothing still gets a version the repository can match.
    VersionRecord v;
    set_prefix(v, "RQR");
    v.family = kFamilyReceiver;
    v.build = 0x0001;
    fixed_version(v);
    out = v;
    return QV_SUCCESS;
}

void CDFUWrenHid::fixed_version(VersionRecord& out) const
{
    out.number = 0x13;
    out.release = 0x00;
}

void CDFUWrenHid::record_written(std::size_t, Progress& progress)
{
    if (progress.advance())
        progress_event(progress.percent);
}

std::uint32_t CDFUWrenHid::signature_step(std::size_t signatures, std::size_t, const Progress& progress) const
{
    return Progress::step_for(signatures, progress.percent);
}

void CDFUWrenHid::no_signature(Progress& progress)
{
    progress.percent = 99;
    progress_event(99);
}

void CDFUWrenHid::signature_record(Progress& progress)
{
    if (progress.advance())
        progress_event(progress.percent);
}

void CDFUWrenHid::signatures_written(std::size_t, Progress&) {}

int CDFUWrenHid::check_image(const FirmwareRecord& firmware, const FirmwareRecord* signature)
{
    std::vector<ImageRecord> records;
    if (ParseHex(firmware.image.data(), firmware.image.size(), 0, 0xFFFF, records) != QV_SUCCESS)
        return QV_RESOURCE_ERROR;
    std::vector<ImageRecord> sig;
    if (signature && ParseBin(signature->image.data(), signature->image.size(), sig) != QV_SUCCESS)
        return QV_RESOURCE_ERROR;
    return QV_SUCCESS;
}

void CDFUWrenHid::finished(Progress&) {}

int CDFUFenMarl::Program(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress)
{
    const std::uint32_t sum = static_cast<std::uint32_t>(records.size() + (m_haveSignature ? m_signature.size() : 0));
    m_workTotal = sum + sum * 5 / 100;
    if (m_workTotal == 0)
        m_workTotal = 1;
    m_workDone = 0;
    return CDFUWrenHid::Program(records, device, progress);
}

void CDFUFenMarl::fixed_version(VersionRecord& out) const
{
    out.number = 0x24;
    out.release = 0x01;
}

void CDFUFenMarl::record_written(std::size_t index, Progress& progress)
{
    m_workDone = static_cast<std::uint32_t>(index);
    ++progress.sent;
    if (--progress.countdown == 0) {
        progress.countdown = progress.step;
        progress_event(static_cast<std::uint32_t>(std::uint64_t{m_workDone} * 100 / m_workTotal));
    }
}

std::uint32_t CDFUFenMarl::signature_step(std::size_t, std::size_t images, const Progress&) const
{
    const std::uint32_t step = static_cast<std::uint32_t>(images / 100);
    return step == 0 ? 1 : step;
}

void CDFUFenMarl::no_signature(Progress&) {}

void CDFUFenMarl::signature_record(Progress&) {}

void CDFUFenMarl::signatures_written(std::size_t count, Progress&)
{
    m_workDone += static_cast<std::uint32_t>(count);
    progress_event(static_cast<std::uint32_t>(std::uint64_t{m_workDone} * 100 / m_workTotal));
}

void CDFUFenMarl::finished(Progress&)
{
    m_workDone = m_workTotal;
    progress_event(100);
}

}  // namespace qv
