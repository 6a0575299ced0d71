#include "features/Feature1801ManufacturingMode.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

bool Feature1801ManufacturingMode::SendCommand(std::uint8_t function, std::vector<Byte> params,
                                               std::vector<Byte>* response)
{
    std::vector<Byte> reply;
    if (!read_reply(*this, function & 0x0F, params, ReplyRule::strict(1), reply))
        return false;
    if (response)
        *response = std::move(reply);
    return true;
}

void Feature1801ManufacturingMode::on_notification(int function, const std::vector<Byte>& payload)
{
    Producer<GenericResponse>::notify([function, payload](GenericResponse* s) { s->onTestResponse(function, payload); },
                                      "Feature1801ManufacturingMode::GenericResponse::onTestResponse");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature1801ManufacturingMode, 0x1801)
