#include "core/CDevio.h"

namespace devio {

CDevio::CDevio(ManagerMaker maker) : m_maker(std::move(maker)) {}

CDevio::~CDevio()
{
    m_closed = true;
    std::shared_ptr<DeviceManager> manager;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        manager = std::move(m_manager);
        m_manager.reset();
    }
}

std::shared_ptr<IDeviceManager> CDevio::get_manager() { return get_or_create_manager(); }

std::shared_ptr<DeviceManager> CDevio::get_or_create_manager()
{
    if (m_closed)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_closing) {
        set_last_error(72, 0, nullptr);
        return nullptr;
    }
    if (!m_manager) {
        m_manager = m_maker ? m_maker() : std::make_shared<DeviceManager>();
        if (m_manager)
            m_manager->set_run_loop(m_manager);
    }
    return m_manager;
}

std::shared_ptr<DeviceManager> CDevio::get_existing_manager()
{
    if (m_closed)
        return nullptr;
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_manager;
}

void CDevio::close()
{
    std::shared_ptr<DeviceManager> manager;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = true;
        if (m_closed)
            return;
        manager = std::move(m_manager);
        m_manager.reset();
    }
    if (manager) {
        manager->flush(nullptr, nullptr);
        manager->shut_down();
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_closing = false;
    }
    // The buses and devices ended above, on this thread; a reader thread still holding the
    // manager for a moment then only releases what is left.
    manager.reset();
}

void CDevio::post(std::function<bool()> callable, void* subscriber, void* producer, std::string name)
{
    if (auto m = get_existing_manager())
        m->post(std::move(callable), subscriber, producer, std::move(name));
}

void CDevio::process()
{
    if (auto m = get_existing_manager())
        m->process();
}

void CDevio::flush(void* subscriber, void* producer)
{
    if (auto m = get_existing_manager())
        m->flush(subscriber, producer);
}

std::vector<std::shared_ptr<IDevice>> CDevio::getDevices()
{
    auto m = get_or_create_manager();
    return m ? m->getDevices() : std::vector<std::shared_ptr<IDevice>>{};
}

std::vector<std::shared_ptr<IDevice>> CDevio::getChildDevices(std::shared_ptr<IDevice> parent)
{
    auto m = get_or_create_manager();
    return m ? m->getChildDevices(std::move(parent)) : std::vector<std::shared_ptr<IDevice>>{};
}

void CDevio::setSoftwareId(int id)
{
    if (auto m = get_or_create_manager())
        m->setSoftwareId(id);
}

std::uint32_t CDevio::getSoftwareId()
{
    auto m = get_or_create_manager();
    return m ? m->getSoftwareId() : 0;
}

bool CDevio::is_active()
{
    auto m = get_or_create_manager();
    return m ? m->is_active() : false;
}

void CDevio::set_active(bool active)
{
    if (auto m = get_or_create_manager())
        m->set_active(active);
}

void CDevio::reportError(const char* context)
{
    if (auto m = get_existing_manager())
        m->reportError(context);
}

void CDevio::setCacheDirectory(std::string directory)
{
    if (auto m = get_or_create_manager())
        m->setCacheDirectory(std::move(directory));
}

bool CDevio::getDefaultConfig(ConfigItem item, bool* value)
{
    auto m = get_or_create_manager();
    return m ? m->getDefaultConfig(item, value) : false;
}

bool CDevio::getConfig(ConfigItem item, bool* value)
{
    auto m = get_or_create_manager();
    return m ? m->getConfig(item, value) : false;
}

bool CDevio::setConfig(ConfigItem item, bool value)
{
    auto m = get_or_create_manager();
    return m ? m->setConfig(item, value) : false;
}

bool CDevio::start()
{
    auto m = get_or_create_manager();
    return m ? m->start() : false;
}

std::shared_ptr<IDevice> CDevio::createDevice(std::shared_ptr<IHardwareDevice> hardware, bool noReceiver,
                                              std::uint32_t productId)
{
    auto m = get_or_create_manager();
    return m ? m->createDevice(std::move(hardware), noReceiver, productId) : nullptr;
}

bool CDevio::addBus(std::shared_ptr<IHardwareBus> bus)
{
    auto m = get_or_create_manager();
    return m ? m->addBus(std::move(bus)) : false;
}

void CDevio::removeBus(std::shared_ptr<IHardwareBus> bus)
{
    if (auto m = get_existing_manager())
        m->removeBus(std::move(bus));
}

} // namespace devio
