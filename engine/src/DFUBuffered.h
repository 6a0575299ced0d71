// The two newer receiver bootloaders: 128-byte pages through a staging buffer.
#pragma once

#include "DFUPureHid.h"

namespace qv {

class CDFUWrenHid : public CDFUPureHid {
public:
    using CDFUPureHid::CDFUPureHid;

    int Program(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress) override;
    int Erase() override;
    int WriteSignature(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress) override;
    int ReadBootloaderVersion(VersionRecord& out) override;
    // The buffered bootloaders need no block at address 0.
    int check_image(const FirmwareRecord& firmware, const FirmwareRecord* signature) override;

protected:
    // The version a bootloader that tells none stands for.
    virtual void fixed_version(VersionRecord& out) const;
    virtual void record_written(std::size_t index, Progress& progress);
    virtual std::uint32_t signature_step(std::size_t signatures, std::size_t images, const Progress& progress) const;
    virtual void no_signature(Progress& progress);
    virtual void signature_record(Progress& progress);
    virtual void signatures_written(std::size_t count, Progress& progress);
    virtual void finished(Progress& progress);
};

class CDFUFenMarl : public CDFUWrenHid {
public:
    using CDFUWrenHid::CDFUWrenHid;

    int Program(const std::vector<ImageRecord>& records, CHidDevice& device, Progress& progress) override;

protected:
    void fixed_version(VersionRecord& out) const override;
    void record_written(std::size_t index, Progress& progress) override;
    std::uint32_t signature_step(std::size_t signatures, std::size_t images, const Progress& progress) const override;
    void no_signature(Progress& progress) override;
    void signature_record(Progress& progress) override;
    void signatures_written(std::size_t count, Progress& progress) override;
    void finished(Progress& progress) override;

private:
    std::uint32_t m_workTotal = 1;
    std::uint32_t m_workDone = 0;
};

}  // namespace qv
