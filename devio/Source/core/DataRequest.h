#pragma once
#include "core/DeviceRequest.h"
#include "core/Request.h"

#include <functional>
#include <memory>
#include <mutex>

namespace devio {

// A request that also yields a T on success.
template <class T>
class IDataRequest {
public:
    // Receives a pointer to the value on success, null on failure (reason in the last error).
    using Continuation = std::function<std::shared_ptr<IRequest>(T*)>;

    virtual ~IDataRequest() = default;
    virtual std::shared_ptr<IRequest> then(RequestOwner owner, Continuation continuation, const char* name) = 0;
    virtual std::shared_ptr<IRequest> request() = 0;
    virtual bool get(T& out) = 0;
    virtual void set_value(T value) = 0;
    virtual T value() = 0;
    virtual void set_target(std::shared_ptr<IDataRequest<T>> target) = 0;
};

namespace detail {
// How a data request registers on each kind of source.
inline std::shared_ptr<IRequest> register_on(const std::shared_ptr<IRequest>& source, RequestOwner owner,
                                             std::function<std::shared_ptr<IRequest>(bool)> fn, const char* name)
{
    return source->then(std::move(owner), std::move(fn), name);
}
inline std::shared_ptr<IRequest> register_on(const std::shared_ptr<IDeviceRequest>& source, RequestOwner owner,
                                             std::function<std::shared_ptr<IRequest>(std::shared_ptr<IDeviceRequest>)> fn,
                                             const char* name)
{
    return source->then(std::move(owner), std::move(fn), name);
}
template <class U>
std::shared_ptr<IRequest> register_on(const std::shared_ptr<IDataRequest<U>>& source, RequestOwner owner,
                                      std::function<std::shared_ptr<IRequest>(U*)> fn, const char* name)
{
    return source->then(std::move(owner), std::move(fn), name);
}
} // namespace detail

// Turns the outcome of a source (IRequest -> bool, IDeviceRequest -> the request itself,
// IDataRequest<U> -> U*) into a T through a converter that returns a further data request.
template <class T, class Source, class Arg>
class DataRequest : public IDataRequest<T>, public std::enable_shared_from_this<DataRequest<T, Source, Arg>> {
public:
    using Converter = std::function<std::shared_ptr<IDataRequest<T>>(Arg)>;

    static std::shared_ptr<DataRequest> create(std::shared_ptr<Source> source, RequestOwner owner, Converter converter,
                                               const char* name)
    {
        auto self = std::make_shared<DataRequest>();
        std::function<std::shared_ptr<IRequest>(Arg)> continuation =
            [self, converter = std::move(converter)](Arg a) -> std::shared_ptr<IRequest> {
            std::shared_ptr<IDataRequest<T>> next = converter(a);
            if (!next)
                return make_immediate_failure_from_error();
            std::shared_ptr<IRequest> nextRequest = next->request();
            if (nextRequest->is_complete()) {
                if (nextRequest->wait())
                    self->set_value(next->value());
            } else {
                next->set_target(self);
            }
            return nextRequest;
        };
        std::shared_ptr<IRequest> request = detail::register_on(source, std::move(owner), std::move(continuation), name);
        std::lock_guard<std::mutex> lock(self->m_mutex);
        self->m_request = std::move(request);
        return self;
    }

    std::shared_ptr<IRequest> then(RequestOwner owner, typename IDataRequest<T>::Continuation continuation,
                                   const char* name) override
    {
        auto self = this->shared_from_this();
        return request()->then(
            std::move(owner),
            [self, continuation = std::move(continuation)](bool ok) -> std::shared_ptr<IRequest> {
                return continuation(ok ? &self->m_value : nullptr);
            },
            name);
    }

    std::shared_ptr<IRequest> request() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_request;
    }

    bool get(T& out) override
    {
        auto self = this->shared_from_this();
        if (!request()->wait())
            return false;
        out = value();
        return true;
    }

    void set_value(T v) override
    {
        std::shared_ptr<IDataRequest<T>> target;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            target = m_target;
            if (!target) {
                m_value = std::move(v);
                m_has_value = true;
                return;
            }
        }
        target->set_value(std::move(v));
    }

    T value() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_value;
    }

    // A value that arrived before the target is passed on at once.
    void set_target(std::shared_ptr<IDataRequest<T>> target) override
    {
        T pending{};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_target = target;
            if (!m_has_value || !target)
                return;
            pending = m_value;
        }
        target->set_value(std::move(pending));
    }

private:
    std::mutex m_mutex;
    std::shared_ptr<IRequest> m_request;
    std::shared_ptr<IDataRequest<T>> m_target;
    T m_value{};
    bool m_has_value = false;
};

template <class T>
class DataRequestImmediateSuccess : public IDataRequest<T> {
public:
    DataRequestImmediateSuccess(std::shared_ptr<IRequest> request, T value)
        : m_request(std::move(request)), m_value(std::move(value))
    {
    }

    std::shared_ptr<IRequest> then(RequestOwner, typename IDataRequest<T>::Continuation continuation,
                                   const char*) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_continued)
                return make_immediate_result(83, nullptr, 0);
            m_continued = true;
        }
        return continuation(&m_value);
    }
    std::shared_ptr<IRequest> request() override { return m_request; }
    bool get(T& out) override
    {
        out = m_value;
        return true;
    }
    void set_value(T) override {}
    T value() override { return m_value; }
    void set_target(std::shared_ptr<IDataRequest<T>>) override {}

private:
    std::mutex m_mutex;
    std::shared_ptr<IRequest> m_request;
    T m_value;
    bool m_continued = false;
};

template <class T>
class DataRequestImmediateFailure : public IDataRequest<T> {
public:
    explicit DataRequestImmediateFailure(std::shared_ptr<IRequest> request) : m_request(std::move(request)) {}

    std::shared_ptr<IRequest> then(RequestOwner, typename IDataRequest<T>::Continuation continuation,
                                   const char*) override
    {
        m_request->wait();
        return continuation(nullptr);
    }
    std::shared_ptr<IRequest> request() override { return m_request; }
    bool get(T&) override
    {
        m_request->wait();
        return false;
    }
    void set_value(T) override {}
    T value() override { return T{}; }
    void set_target(std::shared_ptr<IDataRequest<T>>) override {}

private:
    std::shared_ptr<IRequest> m_request;
};

template <class T>
std::shared_ptr<IDataRequest<T>> make_data_success(T value)
{
    return std::make_shared<DataRequestImmediateSuccess<T>>(make_immediate_success(), std::move(value));
}

template <class T>
std::shared_ptr<IDataRequest<T>> make_data_failure(ErrorCode code, const char* text, std::uint32_t detail)
{
    return std::make_shared<DataRequestImmediateFailure<T>>(make_immediate_result(code, text, detail));
}

template <class T>
std::shared_ptr<IDataRequest<T>> make_data_failure_from_error()
{
    return std::make_shared<DataRequestImmediateFailure<T>>(make_immediate_failure_from_error());
}

// Hands the pointer held by a data request to fn, leaving the data request's value empty.
template <class P>
std::shared_ptr<IRequest> then_value(const std::shared_ptr<IDataRequest<std::shared_ptr<P>>>& request,
                                     RequestOwner owner, std::function<void(std::shared_ptr<P>)> fn,
                                     const char* name)
{
    return request->then(
        std::move(owner),
        [fn = std::move(fn)](std::shared_ptr<P>* value) -> std::shared_ptr<IRequest> {
            if (!value)
                return make_immediate_failure_from_error();
            std::shared_ptr<P> taken = std::move(*value);
            value->reset();
            fn(std::move(taken));
            return make_immediate_success();
        },
        name);
}

// Blocking typed feature lookup. Device: anything with getFeature(u32) returning
// IDataRequest<std::shared_ptr<Base>>; T names its id as T::FeatureId.
template <class T, class DevicePtr>
std::shared_ptr<T> getFeatureSync(const DevicePtr& device, std::uint32_t featureId)
{
    auto request = device->getFeature(featureId);
    using FeaturePtr = decltype(request->value());
    auto holder = std::make_shared<FeaturePtr>();
    auto chained = then_value(request, holder,
                              std::function<void(FeaturePtr)>([holder](FeaturePtr f) { *holder = std::move(f); }),
                              "saving feature-by-id response");
    if (!chained->wait())
        return nullptr;
    std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(*holder);
    if (!typed)
        set_last_error(1, 0, "cannot cast feature to proper type");
    return typed;
}

template <class T, class DevicePtr>
std::shared_ptr<T> getFeatureSync(const DevicePtr& device)
{
    return getFeatureSync<T>(device, T::FeatureId);
}

} // namespace devio
