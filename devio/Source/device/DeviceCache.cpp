// Response cache files of devio::Device: one small XML file per device and product.
#include "device/Device.h"

#include "core/Hex.h"
#include "device/CacheFile.h"
#include "device/DataFile.h"

namespace devio {

namespace {

// Low 32 bits of the 64-bit FNV-1a hash.
std::uint32_t fnv1a_low32(const std::string& text)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001B3ull;
    }
    return static_cast<std::uint32_t>(hash);
}

} // namespace

std::string Device::cache_file_name() const
{
    return m_cache_directory + to_hex_string(getProductId()) + "_" + to_hex_string(fnv1a_low32(getPath())) + ".xml";
}

std::string Device::legacy_cache_file_name() const
{
    return m_cache_directory + to_hex_string(getProductId()) + ".xml";
}

void Device::set_cache_directory(std::string directory)
{
    if (directory.empty()) {
        m_cache_directory.clear();
        return;
    }
    m_cache_directory = std::move(directory);
    load_response_cache();
}

void Device::load_response_cache()
{
    if (m_cache_directory.empty())
        return;
    // A cache file that cannot be read is taken as none and replaced at the next write: what it held,
    // the device answers again.
    std::string text;
    if (read_data_file(cache_file_name(), text) != DataFileRead::Read) {
        if (!m_config_item9 || read_data_file(legacy_cache_file_name(), text) != DataFileRead::Read)
            return;
        m_cache_dirty = true;  // so that the main name gets written
    }
    std::optional<CacheFile> file;
    try {
        file = parse_cache(text);
    } catch (const CacheFileError&) {
        // A damaged file loads nothing and is rewritten at the next write.
        m_cache_dirty = true;
        return;
    }
    if (!file)
        return;
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        if (!m_firmware_text.empty() && m_firmware_text != file->firmware) {
            m_cache_dirty = true;  // other firmware: replaced at the next write
            return;
        }
        m_firmware_text = file->firmware;
    }
    std::lock_guard<std::mutex> lock(m_cache_mutex);
    for (auto& reply : file->replies)
        m_response_cache[reply.first] = std::move(reply.second);
}

void Device::write_response_cache()
{
    // Cleared before the copy is taken: an entry stored meanwhile marks the cache again.
    m_cache_dirty = false;
    if (m_cache_directory.empty())
        return;
    CacheFile file;
    {
        std::lock_guard<std::mutex> lock(m_firmware_mutex);
        file.firmware = m_firmware_text;
    }
    if (file.firmware.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_cache_mutex);
        file.replies = m_response_cache;
    }
    file.path = getPath();
    const std::optional<std::string> printed = print_cache(file);
    if (!printed)
        return;
    bool written = write_cache_file(cache_file_name(), *printed);
    if (m_config_item9)
        written = write_cache_file(legacy_cache_file_name(), *printed) && written;
    // A file that was not written is written again at the next write.
    if (!written)
        m_cache_dirty = true;
}

bool Device::write_cache_file(const std::string& name, const std::string& text)
{
    std::uint32_t error = 0;
    if (write_data_file(name, text, &error))
        return true;
    // Reported without disturbing the last error of the thread that wrote (a timer, a destructor).
    const ErrorRecord kept = last_error_record();
    set_last_error(1, error, "response cache could not be written");
    if (auto manager = m_manager.lock())
        manager->reportError("Device::write_response_cache");
    set_last_error(kept);
    return false;
}

} // namespace devio
