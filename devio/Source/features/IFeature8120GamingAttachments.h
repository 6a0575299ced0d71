#pragma once
#include "features/IFeature.h"

#include <cstdint>
#include <vector>

namespace devio {

// Feature 0x8120: lists of attachment identifiers (1 to 4) read, written and reported.
class IFeature8120GamingAttachments : public virtual IFeature {
public:
    static constexpr std::uint32_t FeatureId = 0x8120;

    enum AttachmentId : std::uint32_t {};

    class Report {
    public:
        virtual void onAttachmentChanged(const std::vector<AttachmentId>& /*attachments*/) {}
        virtual ~Report() = default;
    };

    ~IFeature8120GamingAttachments() override = default;
    // Empty on any failure; the last error tells a failure from an empty list.
    virtual std::vector<AttachmentId> GetAttachmentList() = 0;
    virtual std::vector<AttachmentId> GetAttachmentSelection() = 0;
    // Identifiers outside 1..4 are refused with the last error untouched; more than 15 with 46.
    virtual bool SetAttachmentSelection(const std::vector<AttachmentId>& attachments) = 0;
};

} // namespace devio
