#pragma once
#include <functional>
#include <string>

namespace devio {

// The run loop has no thread: a host drains it by calling process() whenever RunLoopEvent arrives.
class IRunLoopManager {
public:
    class RunLoopEvent {
    public:
        virtual void onRunLoopEvent() {}
        virtual ~RunLoopEvent() = default;
    };

    // callable returns true when the loop should yield after it.
    virtual void post(std::function<bool()> callable, void* subscriber, void* producer, std::string name) = 0;
    virtual void process() = 0;
    // Drops queued entries of the (subscriber, producer) pair; (null, null) drops all.
    virtual void flush(void* subscriber, void* producer) = 0;
    virtual ~IRunLoopManager() = default;
};

} // namespace devio
