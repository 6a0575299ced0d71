#pragma once
#include "features/Feature.h"
#include "features/IFeature8120GamingAttachments.h"

namespace devio {

class Feature8120GamingAttachments : public FeatureClass<Feature8120GamingAttachments, IFeature8120GamingAttachments>,
                                     public Producer<IFeature8120GamingAttachments::Report> {
public:
    using FeatureClass::FeatureClass;

    std::vector<AttachmentId> GetAttachmentList() override;
    std::vector<AttachmentId> GetAttachmentSelection() override;
    bool SetAttachmentSelection(const std::vector<AttachmentId>& attachments) override;

    // Count and identifiers; empty with code 2 (count past the payload) or 46 (bad identifier).
    static std::vector<AttachmentId> decode_list(const std::vector<Byte>& payload);

protected:
    void on_notification(int function, const std::vector<Byte>& payload) override;

private:
    std::vector<AttachmentId> read_list(std::uint32_t function);
};

} // namespace devio
