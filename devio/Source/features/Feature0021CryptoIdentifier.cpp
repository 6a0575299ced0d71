#include "features/Feature0021CryptoIdentifier.h"

#include "features/FeatureRegistry.h"

namespace devio {

bool Feature0021CryptoIdentifier::GetIdentifier(std::vector<Byte>* identifier)
{
    std::vector<Byte> ignored;
    std::vector<Byte>& out = identifier ? *identifier : ignored;
    out.clear();
    for (std::uint32_t function : {0u, 1u}) {
        std::vector<Byte> reply;
        if (!execute_payload(function, {}, 0, 16, reply))
            return false;
        out.insert(out.end(), reply.begin(), reply.begin() + 16);
    }
    return true;
}

bool Feature0021CryptoIdentifier::RegenerateIdentifier()
{
    std::vector<Byte> reply;
    return execute(2, {}, reply, 0);
}

void Feature0021CryptoIdentifier::on_unexpected_response(unsigned function, unsigned softwareId,
                                                         const std::vector<Byte>& /*payload*/)
{
    // Another program regenerated the identifier.
    if (function != 2)
        return;
    Producer<RegenDetect>::notify([softwareId](RegenDetect* s) { s->onRegenerateIdentifier(softwareId); },
                                  "Feature0021CryptoIdentifier::RegenDetect::onRegenerateIdentifier");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature0021CryptoIdentifier, 0x0021)
