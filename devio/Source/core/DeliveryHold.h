#pragma once
#include <memory>
#include <utility>

namespace devio {

// A producer calls its direct subscribers under its lock. An object that passes an event on and
// whose last owner lets go of it meanwhile must not end there: its ending leaves the producers it
// listens to, taking their locks while the delivering one is held, and two such endings on two
// producers of one device take them in opposite orders. It ends instead after the outermost
// delivery of the thread, once no producer lock is held.

// The calling thread is inside a delivery while one lives; the outermost, as it ends, ends what
// was let go of meanwhile.
class DeliveryScope {
public:
    DeliveryScope();
    ~DeliveryScope();
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;
};

// Lets go of `object` at once outside any delivery, else after the thread's outermost one.
void release_after_deliveries(std::shared_ptr<void> object);

// Keeps an object alive while it passes an event on. Empty when the object is already going:
// such an object passes nothing on.
template <class T>
class DeliveryHold {
public:
    explicit DeliveryHold(const std::weak_ptr<T>& object) : m_object(object.lock()) {}
    ~DeliveryHold()
    {
        if (m_object)
            release_after_deliveries(std::move(m_object));
    }
    DeliveryHold(const DeliveryHold&) = delete;
    DeliveryHold& operator=(const DeliveryHold&) = delete;

    explicit operator bool() const { return m_object != nullptr; }

private:
    std::shared_ptr<T> m_object;
};

} // namespace devio
