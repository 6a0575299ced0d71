#pragma once
// What a feature publishes to its handlers, as text. A recorder of a family's event interfaces
// derives from HandlerLog, logs each call and joins a feature with join(); expect_delivery runs
// one report through a fresh feature and checks what reached the recorder.
#include "GoldenWire.h"

#include "features/Feature.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace devio::test {

struct HandlerLog {
    std::vector<std::string> log;
    template <class... V>
    void add(const char* handler, const V&... v)
    {
        log.push_back(std::string(handler) + (sizeof...(v) ? " " : "") + fields(v...));
    }
};

// `deliver` hands one report to a fresh feature joined by a fresh `Recorder`: `handled` is the one
// call it must log ("" for none), `code` the error left on the delivering thread; a decoder sends
// nothing.
template <class Recorder>
void expect_delivery(std::uint16_t featureId, const std::function<void(Feature&)>& deliver,
                     const std::string& handled, ErrorCode code)
{
    auto dev = std::make_shared<FakeDevice>();
    auto feature = make_feature(featureId, kGoldenIndex, dev);
    Recorder recorder;
    recorder.join(feature);
    auto base = std::dynamic_pointer_cast<Feature>(feature);
    ASSERT_TRUE(base);
    set_last_error(0, 0, nullptr);
    deliver(*base);
    EXPECT_EQ(last_error().code, code);
    if (handled.empty()) {
        EXPECT_TRUE(recorder.log.empty()) << recorder.log.front();
    } else {
        ASSERT_EQ(recorder.log.size(), 1u);
        EXPECT_EQ(recorder.log[0], handled);
    }
    EXPECT_TRUE(dev->log().empty()) << "a decoder sends nothing";
}

} // namespace devio::test
