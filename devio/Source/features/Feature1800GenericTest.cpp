#include "features/Feature1800GenericTest.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1800GenericTest::SendTest(std::uint8_t testId, std::vector<Byte> params, std::vector<Byte>* response)
{
    params.insert(params.begin(), testId);
    std::vector<Byte> reply;
    if (!read_reply(*this, 0, params, ReplyRule::strict(1), reply))
        return false;
    if (reply[0] != testId) {
        set_last_error(56, 0, nullptr);
        return false;
    }
    if (response)
        *response = std::move(reply);
    return true;
}

void Feature1800GenericTest::on_notification(int function, const std::vector<Byte>& payload)
{
    Producer<GenericResponse>::notify([function, payload](GenericResponse* s) { s->onTestResponse(function, payload); },
                                      "Feature1800GenericTest::GenericResponse::onTestResponse");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1800GenericTest, 0x1800)
