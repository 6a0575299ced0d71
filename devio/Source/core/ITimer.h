#pragma once

namespace devio {

class ITimer {
public:
    class TimerEvent {
    public:
        virtual void onTimerEvent(int /*id*/) {}
        virtual ~TimerEvent() = default;
    };

    virtual ~ITimer() = default;
    // Restarts unless the running period is still in its first half; false when ignored.
    virtual bool kick(unsigned ms) = 0;
    virtual bool start(unsigned ms) = 0;
    virtual bool stop() = 0;
};

} // namespace devio
