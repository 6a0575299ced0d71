#include "features/Feature8120GamingAttachments.h"

#include "features/FeatureHelpers.h"
#include "features/FeatureRegistry.h"

namespace devio {

namespace {
bool valid_id(std::uint32_t id) { return id >= 1 && id <= 4; }
} // namespace

std::vector<IFeature8120GamingAttachments::AttachmentId>
Feature8120GamingAttachments::decode_list(const std::vector<Byte>& payload)
{
    std::vector<AttachmentId> list;
    if (payload.empty() || payload[0] > payload.size() - 1) {
        set_last_error(2, 0, nullptr);
        return list;
    }
    for (std::size_t i = 1; i <= payload[0]; ++i) {
        if (!valid_id(payload[i])) {
            set_last_error(46, 0, nullptr);
            return {};
        }
        list.push_back(static_cast<AttachmentId>(payload[i]));
    }
    return list;
}

std::vector<IFeature8120GamingAttachments::AttachmentId> Feature8120GamingAttachments::read_list(std::uint32_t function)
{
    std::vector<Byte> r;
    if (!read_reply(*this, function, {}, ReplyRule::any(), r))
        return {};
    return decode_list(r);
}

std::vector<IFeature8120GamingAttachments::AttachmentId> Feature8120GamingAttachments::GetAttachmentList()
{
    return read_list(0);
}

std::vector<IFeature8120GamingAttachments::AttachmentId> Feature8120GamingAttachments::GetAttachmentSelection()
{
    return read_list(1);
}

bool Feature8120GamingAttachments::SetAttachmentSelection(const std::vector<AttachmentId>& attachments)
{
    for (AttachmentId id : attachments) {
        if (!valid_id(id))
            return false;
    }
    // The count byte and the identifiers must fit one long report (the count cannot wrap).
    std::vector<Byte> params{static_cast<Byte>(attachments.size())};
    for (AttachmentId id : attachments)
        params.push_back(static_cast<Byte>(id));
    return write_request(*this, 2, params);
}

void Feature8120GamingAttachments::on_notification(int function, const std::vector<Byte>& payload)
{
    if (function != 0 || payload.empty())
        return;
    // Published even when the list is malformed: subscribers then get an empty list.
    const auto list = decode_list(payload);
    Producer<Report>::notify([list](Report* s) { s->onAttachmentChanged(list); },
                             "Feature8120GamingAttachments::Report::onAttachmentChanged");
}

} // namespace devio

DEVIO_REGISTER_FEATURE(Feature8120GamingAttachments, 0x8120)
