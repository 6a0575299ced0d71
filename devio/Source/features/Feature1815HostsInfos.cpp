#include "features/Feature1815HostsInfos.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1815HostsInfos::GetHostsSummary(std::int32_t* a, std::uint16_t* b, std::uint16_t* c)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 0, {}, ReplyRule::strict(4), r))
        return false;
    if (a)
        *a = sign16(read_be16(r, 0));
    if (b)
        *b = r[2];
    if (c)
        *c = r[3];
    return true;
}

bool Feature1815HostsInfos::GetHostInfo(std::uint8_t host, std::uint16_t* info0, std::uint16_t* info1,
                                        std::uint16_t* info2, std::uint16_t* info3, std::uint16_t* info4,
                                        std::uint16_t* info5)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 1, {host}, ReplyRule::strict(6), r))
        return false;
    std::uint16_t* out[] = {info0, info1, info2, info3, info4, info5};
    for (std::size_t k = 0; k < 6; ++k)
        if (out[k])
            *out[k] = r[k];
    return true;
}

bool Feature1815HostsInfos::GetHostDescriptor(std::uint8_t a, std::uint8_t b, std::vector<Byte>* descriptor)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 2, {a, b}, ReplyRule::strict(16), r))
        return false;
    if (descriptor)
        *descriptor = std::move(r);
    return true;
}

bool Feature1815HostsInfos::GetHostName(std::int16_t host, std::string* name, bool useCache)
{
    if (host < 0 || host >= kHosts)
        return false;
    const auto slot = static_cast<std::size_t>(host);
    {
        std::lock_guard<std::mutex> lock(m_cache_mutex);
        if (!useCache) {
            m_name_valid[slot] = false;
            m_host_names[slot].clear();
        }
        if (m_name_valid[slot]) {
            if (name)
                *name = m_host_names[slot];
            return true;
        }
    }
    std::uint16_t hostId = 0, length = 0;
    if (!GetHostInfo(static_cast<std::uint8_t>(host), &hostId, nullptr, nullptr, nullptr, &length, nullptr))
        return false;
    // Built apart and kept only when whole: a fill that fails part-way leaves nothing behind
    // for the next one to append to.
    std::string text;
    std::int16_t offset = 0;
    while (offset < static_cast<std::int16_t>(length)) {
        std::vector<Byte> chunk;
        if (!GetHostNameChunk(static_cast<std::uint8_t>(hostId), static_cast<std::uint8_t>(offset), &chunk))
            return false;
        if (chunk.empty()) {
            set_last_error(29, 0, nullptr);
            return false;
        }
        text.append(chunk.begin(), chunk.end());
        offset = static_cast<std::int16_t>(offset + static_cast<std::int16_t>(chunk.size()));
    }
    if (text.size() > length)
        text.resize(length);
    std::lock_guard<std::mutex> lock(m_cache_mutex);
    m_host_names[slot] = text;
    m_name_valid[slot] = true;
    if (name)
        *name = text;
    return true;
}

bool Feature1815HostsInfos::GetHostNameChunk(std::uint8_t host, std::uint8_t offset, std::vector<Byte>* chunk)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 3, {host, offset}, ReplyRule::quiet(2), r))
        return false;
    if (chunk)
        chunk->assign(r.begin() + 2, r.end());
    return true;
}

bool Feature1815HostsInfos::SetHostNameChunk(std::uint8_t host, std::uint8_t offset, std::vector<Byte> data)
{
    if (data.empty()) {
        set_last_error(46, 0, nullptr);
        return false;
    }
    std::vector<Byte> params{host, offset};
    for (std::size_t k = 0; k < 14; ++k)
        params.push_back(byte_at(data, k));
    return write_request(*this, 4, params);
}

bool Feature1815HostsInfos::SendHostsFunction5(std::uint8_t a, std::uint8_t b) { return write_request(*this, 5, {a, b}); }

bool Feature1815HostsInfos::SendHostsFunction6(std::uint8_t a) { return write_request(*this, 6, {a}); }

bool Feature1815HostsInfos::GetHostDetails(std::uint8_t host, std::uint16_t* d0, std::uint16_t* d1,
                                           std::uint32_t* d2, std::uint32_t* d3, std::uint32_t* d4)
{
    std::vector<Byte> r;
    if (!read_reply(*this, 7, {host}, ReplyRule::strict(7), r))
        return false;
    if (d0)
        *d0 = r[0];
    if (d1)
        *d1 = r[1];
    if (d2)
        *d2 = r[2];
    if (d3)
        *d3 = read_be16(r, 3);
    if (d4)
        *d4 = read_be16(r, 5);
    return true;
}

bool Feature1815HostsInfos::SendHostsFunction8(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint16_t d,
                                               std::uint16_t e)
{
    std::vector<Byte> params{a, b, c};
    put_be16(params, d);
    put_be16(params, e);
    return write_request(*this, 8, params);
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1815HostsInfos, 0x1815)
