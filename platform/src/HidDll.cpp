// hid.dll over the simulated HID collections: attributes, strings and the HID parser.
#include "HidFile.h"

#include <hidclass.h>
#include <hidsdi.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>

struct _HIDP_PREPARSED_DATA {
    HIDP_CAPS caps{};
    std::vector<HIDP_VALUE_CAPS> values[3];
    std::vector<HIDP_BUTTON_CAPS> buttons[3];
    HIDP_LINK_COLLECTION_NODE node{};
};

namespace platform::detail {

namespace {

std::mutex g_preparsedMutex;
std::set<PHIDP_PREPARSED_DATA> g_preparsed;  // live preparsed data, to refuse stale pointers

bool is_live(PHIDP_PREPARSED_DATA data)
{
    std::lock_guard<std::mutex> lock(g_preparsedMutex);
    return data && g_preparsed.count(data) != 0;
}

// The open HID file behind a handle; fails the call like the class driver when there is none
// or the device went away.
std::shared_ptr<HidFile> hid_file(HANDLE handle)
{
    auto file = lookup_handle_as<HidFile>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (file->is_gone()) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return nullptr;
    }
    return file;
}

std::unique_ptr<_HIDP_PREPARSED_DATA> parse(const sim::HidCollection& collection)
{
    const auto& spec = collection.spec();
    auto data = std::make_unique<_HIDP_PREPARSED_DATA>();
    HIDP_CAPS& caps = data->caps;
    caps.Usage = spec.usage;
    caps.UsagePage = spec.usagePage;
    caps.InputReportByteLength = collection.input_length();
    caps.OutputReportByteLength = collection.output_length();
    caps.FeatureReportByteLength = sim::HidCollectionAccess::featureLength(collection);
    caps.NumberLinkCollectionNodes = 1;
    const std::vector<sim::HidReportSpec>* lists[3] = {&spec.inputReports, &spec.outputReports, &spec.featureReports};
    USHORT dataIndex = 0;
    for (int type = 0; type < 3; ++type) {
        USHORT first = dataIndex;
        for (const auto& r : *lists[type]) {
            const auto count = static_cast<USHORT>(r.length - 1);
            if (r.button) {
                HIDP_BUTTON_CAPS b{};
                b.UsagePage = spec.usagePage;
                b.ReportID = r.id;
                b.LinkUsage = spec.usage;
                b.LinkUsagePage = spec.usagePage;
                b.IsRange = TRUE;
                b.IsAbsolute = TRUE;
                b.ReportCount = 1;
                b.Range.UsageMin = 1;
                b.Range.UsageMax = static_cast<USAGE>(std::max<int>(1, count * 8));
                b.Range.DataIndexMin = dataIndex;
                b.Range.DataIndexMax = static_cast<USHORT>(dataIndex + b.Range.UsageMax - 1);
                dataIndex = static_cast<USHORT>(b.Range.DataIndexMax + 1);
                data->buttons[type].push_back(b);
            } else {
                HIDP_VALUE_CAPS v{};
                v.UsagePage = spec.usagePage;
                v.ReportID = r.id;
                v.LinkUsage = spec.usage;
                v.LinkUsagePage = spec.usagePage;
                v.IsAbsolute = TRUE;
                v.BitSize = 8;
                v.ReportCount = count;
                v.LogicalMin = 0;
                v.LogicalMax = 255;
                v.NotRange.Usage = spec.usage;
                v.NotRange.DataIndex = dataIndex++;
                data->values[type].push_back(v);
            }
        }
        const auto buttons = static_cast<USHORT>(data->buttons[type].size());
        const auto values = static_cast<USHORT>(data->values[type].size());
        const auto indices = static_cast<USHORT>(dataIndex - first);
        if (type == 0) {
            caps.NumberInputButtonCaps = buttons;
            caps.NumberInputValueCaps = values;
            caps.NumberInputDataIndices = indices;
        } else if (type == 1) {
            caps.NumberOutputButtonCaps = buttons;
            caps.NumberOutputValueCaps = values;
            caps.NumberOutputDataIndices = indices;
        } else {
            caps.NumberFeatureButtonCaps = buttons;
            caps.NumberFeatureValueCaps = values;
            caps.NumberFeatureDataIndices = indices;
        }
    }
    data->node.LinkUsage = spec.usage;
    data->node.LinkUsagePage = spec.usagePage;
    data->node.CollectionType = 1;  // application collection
    return data;
}

BOOLEAN copy_string(HANDLE handle, PVOID buffer, ULONG length, bool serial)
{
    auto file = hid_file(handle);
    if (!file)
        return FALSE;
    const auto& spec = file->collection()->spec();
    const std::u16string text = utf8_to_utf16(serial ? spec.serialNumber : spec.productString);
    if (text.empty()) {
        SetLastError(ERROR_GEN_FAILURE);  // the device has no such string
        return FALSE;
    }
    const std::size_t need = (text.size() + 1) * sizeof(WCHAR);
    if (!buffer || length < need) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, text.c_str(), need);
    return TRUE;
}

template <class Caps>
NTSTATUS copy_caps(const std::vector<Caps>& all, Caps* out, PUSHORT length)
{
    if (!length)
        return HIDP_STATUS_NULL;
    const std::size_t room = out ? *length : 0;
    const std::size_t n = std::min(room, all.size());
    std::copy(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n), out);
    *length = static_cast<USHORT>(n);
    return n < all.size() ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

}  // namespace

}  // namespace platform::detail

using namespace platform::detail;

void HidD_GetHidGuid(LPGUID HidGuid)
{
    if (HidGuid)
        *HidGuid = GUID_DEVINTERFACE_HID;
}

BOOLEAN HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes)
{
    auto file = hid_file(HidDeviceObject);
    if (!file)
        return FALSE;
    if (!Attributes) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& spec = file->collection()->spec();
    Attributes->Size = sizeof(HIDD_ATTRIBUTES);
    Attributes->VendorID = spec.vendorId;
    Attributes->ProductID = spec.productId;
    Attributes->VersionNumber = spec.versionNumber;
    return TRUE;
}

BOOLEAN HidD_GetProductString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength)
{
    return copy_string(HidDeviceObject, Buffer, BufferLength, false);
}

BOOLEAN HidD_GetSerialNumberString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength)
{
    return copy_string(HidDeviceObject, Buffer, BufferLength, true);
}

BOOLEAN HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData)
{
    auto file = hid_file(HidDeviceObject);
    if (!file)
        return FALSE;
    if (!PreparsedData) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    PHIDP_PREPARSED_DATA data = parse(*file->collection()).release();
    std::lock_guard<std::mutex> lock(g_preparsedMutex);
    g_preparsed.insert(data);
    *PreparsedData = data;
    return TRUE;
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData)
{
    {
        std::lock_guard<std::mutex> lock(g_preparsedMutex);
        if (!PreparsedData || g_preparsed.erase(PreparsedData) == 0)
            return FALSE;
    }
    delete PreparsedData;
    return TRUE;
}

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities)
{
    if (!is_live(PreparsedData))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (!Capabilities)
        return HIDP_STATUS_NULL;
    *Capabilities = PreparsedData->caps;
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS HidP_GetValueCaps(HIDP_REPORT_TYPE ReportType, PHIDP_VALUE_CAPS ValueCaps, PUSHORT ValueCapsLength,
                           PHIDP_PREPARSED_DATA PreparsedData)
{
    if (!is_live(PreparsedData))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (ReportType < HidP_Input || ReportType > HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    return copy_caps(PreparsedData->values[ReportType], ValueCaps, ValueCapsLength);
}

NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, PHIDP_BUTTON_CAPS ButtonCaps, PUSHORT ButtonCapsLength,
                            PHIDP_PREPARSED_DATA PreparsedData)
{
    if (!is_live(PreparsedData))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (ReportType < HidP_Input || ReportType > HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    return copy_caps(PreparsedData->buttons[ReportType], ButtonCaps, ButtonCapsLength);
}

NTSTATUS HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, USAGE Usage,
                                    PHIDP_BUTTON_CAPS ButtonCaps, PUSHORT ButtonCapsLength,
                                    PHIDP_PREPARSED_DATA PreparsedData)
{
    if (!is_live(PreparsedData))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (ReportType < HidP_Input || ReportType > HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    std::vector<HIDP_BUTTON_CAPS> matching;
    // Every report hangs off the one top-level collection (index 0, also named 0xFFFF).
    if (LinkCollection == 0 || LinkCollection == 0xFFFF)
        for (const auto& b : PreparsedData->buttons[ReportType])
            if ((UsagePage == 0 || UsagePage == b.UsagePage) &&
                (Usage == 0 || (Usage >= b.Range.UsageMin && Usage <= b.Range.UsageMax)))
                matching.push_back(b);
    if (matching.empty()) {
        if (ButtonCapsLength)
            *ButtonCapsLength = 0;
        return HIDP_STATUS_USAGE_NOT_FOUND;
    }
    return copy_caps(matching, ButtonCaps, ButtonCapsLength);
}

NTSTATUS HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE LinkCollectionNodes, PULONG LinkCollectionNodesLength,
                                     PHIDP_PREPARSED_DATA PreparsedData)
{
    if (!is_live(PreparsedData))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (!LinkCollectionNodesLength)
        return HIDP_STATUS_NULL;
    if (!LinkCollectionNodes || *LinkCollectionNodesLength < 1) {
        *LinkCollectionNodesLength = 1;
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    }
    LinkCollectionNodes[0] = PreparsedData->node;
    *LinkCollectionNodesLength = 1;
    return HIDP_STATUS_SUCCESS;
}
