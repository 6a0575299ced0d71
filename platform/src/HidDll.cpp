// hid.dll over the simulated HID collections: attributes, strings and the HID parser.
#include "HidFile.h"

#include <hidclass.h>
#include <hidsdi.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
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

// What button and value capabilities of one report share: the collection's page and usage.
template <class Caps>
Caps caps_of(const sim::HidCollectionLayout& layout, const sim::HidReportLayout& report)
{
    Caps caps{};
    caps.UsagePage = layout.usagePage;
    caps.ReportID = report.id;
    caps.LinkUsage = layout.usage;
    caps.LinkUsagePage = layout.usagePage;
    caps.IsAbsolute = TRUE;
    return caps;
}

std::unique_ptr<_HIDP_PREPARSED_DATA> parse(const sim::HidCollection& collection)
{
    const auto& layout = collection.layout();
    auto data = std::make_unique<_HIDP_PREPARSED_DATA>();
    HIDP_CAPS& caps = data->caps;
    caps.Usage = layout.usage;
    caps.UsagePage = layout.usagePage;
    caps.InputReportByteLength = collection.input_length();
    caps.OutputReportByteLength = collection.output_length();
    caps.FeatureReportByteLength = sim::HidCollectionAccess::featureLength(collection);
    caps.NumberLinkCollectionNodes = 1;
    const std::vector<sim::HidReportLayout>* lists[3] = {&layout.inputReports, &layout.outputReports, &layout.featureReports};
    USHORT dataIndex = 0;
    for (int type = 0; type < 3; ++type) {
        USHORT first = dataIndex;
        for (const auto& r : *lists[type]) {
            const auto count = static_cast<USHORT>(r.length - 1);
            if (r.button) {
                auto b = caps_of<HIDP_BUTTON_CAPS>(layout, r);
                b.IsRange = TRUE;
                b.ReportCount = 1;
                b.Range.UsageMin = 1;
                b.Range.UsageMax = static_cast<USAGE>(std::max<int>(1, count * 8));
                b.Range.DataIndexMin = dataIndex;
                b.Range.DataIndexMax = static_cast<USHORT>(dataIndex + b.Range.UsageMax - 1);
                dataIndex = static_cast<USHORT>(b.Range.DataIndexMax + 1);
                data->buttons[type].push_back(b);
            } else {
                auto v = caps_of<HIDP_VALUE_CAPS>(layout, r);
                v.BitSize = 8;
                v.ReportCount = count;
                v.LogicalMin = 0;
                v.LogicalMax = 255;
                v.NotRange.Usage = layout.usage;
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
    data->node.LinkUsage = layout.usage;
    data->node.LinkUsagePage = layout.usagePage;
    data->node.CollectionType = 1;  // application collection
    return data;
}

// String descriptor indexes as a USB device numbers them; the manufacturer is not modelled.
constexpr ULONG kProductStringIndex = 2;
constexpr ULONG kSerialNumberIndex = 3;

BOOLEAN copy_string(HANDLE handle, PVOID buffer, ULONG length, ULONG index)
{
    auto file = hid_file(handle);
    if (!file)
        return FALSE;
    const auto& layout = file->collection()->layout();
    const std::u16string text = utf8_to_utf16(index == kProductStringIndex  ? layout.productString
                                              : index == kSerialNumberIndex ? layout.serialNumber
                                                                            : std::string());
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

// The checks every parser call starts with.
NTSTATUS check_parser_call(PHIDP_PREPARSED_DATA data, HIDP_REPORT_TYPE type)
{
    if (!is_live(data))
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    if (type < HidP_Input || type > HidP_Feature)
        return HIDP_STATUS_INVALID_REPORT_TYPE;
    return HIDP_STATUS_SUCCESS;
}

// Every report hangs off the one top-level collection (index 0, also named 0xFFFF).
bool in_top_collection(USHORT linkCollection)
{
    return linkCollection == 0 || linkCollection == 0xFFFF;
}

USHORT report_byte_length(const HIDP_CAPS& caps, HIDP_REPORT_TYPE type)
{
    return type == HidP_Input ? caps.InputReportByteLength
                              : type == HidP_Output ? caps.OutputReportByteLength : caps.FeatureReportByteLength;
}

// The checks of a call that reads or writes a report buffer; the report must have the length
// of its kind, as read from or written to the device.
NTSTATUS check_report_call(PHIDP_PREPARSED_DATA data, HIDP_REPORT_TYPE type, const void* report, ULONG length,
                           const void* counter)
{
    const NTSTATUS status = check_parser_call(data, type);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    if (!report || !counter)
        return HIDP_STATUS_NULL;
    const USHORT expected = report_byte_length(data->caps, type);
    if (expected == 0)
        return HIDP_STATUS_REPORT_DOES_NOT_EXIST;
    if (length != expected)
        return HIDP_STATUS_INVALID_REPORT_LENGTH;
    return HIDP_STATUS_SUCCESS;
}

// A button capability is a bitmap after the report id: usage n is bit n - 1.
bool button_bit(const HIDP_BUTTON_CAPS& b, USAGE usage, std::size_t& byte, std::uint8_t& mask)
{
    if (usage < b.Range.UsageMin || usage > b.Range.UsageMax)
        return false;
    const unsigned bit = usage - b.Range.UsageMin;
    byte = 1 + bit / 8;
    mask = static_cast<std::uint8_t>(1u << (bit % 8));
    return true;
}

// The set buttons of the report on `page` (0: every page), or the status that says why none.
NTSTATUS pressed_buttons(const _HIDP_PREPARSED_DATA& data, HIDP_REPORT_TYPE type, USAGE page, const PCHAR report,
                         std::vector<USAGE_AND_PAGE>& out)
{
    bool onPage = false;
    bool inReport = false;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(report);
    const USHORT length = report_byte_length(data.caps, type);
    for (const auto& b : data.buttons[type]) {
        if (page != 0 && b.UsagePage != page)
            continue;
        onPage = true;
        if (b.ReportID != bytes[0])
            continue;
        inReport = true;
        for (unsigned u = b.Range.UsageMin; u <= b.Range.UsageMax; ++u) {
            std::size_t byte = 0;
            std::uint8_t mask = 0;
            button_bit(b, static_cast<USAGE>(u), byte, mask);
            if (byte < length && (bytes[byte] & mask))
                out.push_back(USAGE_AND_PAGE{static_cast<USAGE>(u), b.UsagePage});
        }
    }
    if (!onPage)
        return HIDP_STATUS_USAGE_NOT_FOUND;
    return inReport ? HIDP_STATUS_SUCCESS : HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
}

// Sets or clears the listed buttons; on failure *UsageLength is the index of the usage at fault.
NTSTATUS change_buttons(HIDP_REPORT_TYPE type, USAGE page, USHORT link, PUSAGE list, PULONG count,
                        PHIDP_PREPARSED_DATA data, PCHAR report, ULONG length, bool press)
{
    NTSTATUS status = check_report_call(data, type, report, length, count);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    if (!list && *count != 0)
        return HIDP_STATUS_NULL;
    auto* bytes = reinterpret_cast<std::uint8_t*>(report);
    for (ULONG i = 0; i < *count; ++i) {
        if (list[i] == 0)
            continue;  // an empty slot of a usage list
        status = HIDP_STATUS_USAGE_NOT_FOUND;
        for (const auto& b : data->buttons[type]) {
            std::size_t byte = 0;
            std::uint8_t mask = 0;
            if (!in_top_collection(link) || b.UsagePage != page || !button_bit(b, list[i], byte, mask))
                continue;
            if (b.ReportID != bytes[0]) {
                status = HIDP_STATUS_INCOMPATIBLE_REPORT_ID;
                continue;
            }
            if (byte >= length)
                break;
            if (!press && !(bytes[byte] & mask)) {
                status = HIDP_STATUS_BUTTON_NOT_PRESSED;
                break;
            }
            bytes[byte] = static_cast<std::uint8_t>(press ? (bytes[byte] | mask) : (bytes[byte] & ~mask));
            status = HIDP_STATUS_SUCCESS;
            break;
        }
        if (status != HIDP_STATUS_SUCCESS) {
            *count = i;
            return status;
        }
    }
    return HIDP_STATUS_SUCCESS;
}

struct ScanCode {
    std::uint8_t code;
    bool extended;  // sent after 0xE0
};

// Set-1 make codes of the keyboard page (0x07); the break code adds 0x80.
std::optional<ScanCode> scan_code(USAGE usage)
{
    static const std::uint8_t letters[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17,
                                             0x24, 0x25, 0x26, 0x32, 0x31, 0x18, 0x19, 0x10, 0x13,
                                             0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};
    // 1..0, Enter, Escape, Backspace, Tab, Space, minus, equals, brackets, backslash, (non-US # has
    // none), semicolon, quote, grave, comma, period, slash, Caps Lock
    static const std::uint8_t row[28] = {0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                                         0x1C, 0x01, 0x0E, 0x0F, 0x39, 0x0C, 0x0D, 0x1A, 0x1B, 0x2B,
                                         0x00, 0x27, 0x28, 0x29, 0x33, 0x34, 0x35, 0x3A};
    if (usage >= 0x04 && usage <= 0x1D)
        return ScanCode{letters[usage - 0x04], false};
    if (usage >= 0x1E && usage <= 0x39 && row[usage - 0x1E] != 0)
        return ScanCode{row[usage - 0x1E], false};
    if (usage >= 0x3A && usage <= 0x43)  // F1..F10
        return ScanCode{static_cast<std::uint8_t>(0x3B + (usage - 0x3A)), false};
    if (usage == 0x44 || usage == 0x45)  // F11, F12
        return ScanCode{static_cast<std::uint8_t>(usage == 0x44 ? 0x57 : 0x58), false};
    // Insert, Home, Page Up, Delete, End, Page Down, Right, Left, Down, Up
    static const std::uint8_t navigation[10] = {0x52, 0x47, 0x49, 0x53, 0x4F, 0x51, 0x4D, 0x4B, 0x50, 0x48};
    if (usage >= 0x49 && usage <= 0x52)
        return ScanCode{navigation[usage - 0x49], true};
    // Left and right Control, Shift, Alt, GUI
    static const ScanCode modifiers[8] = {{0x1D, false}, {0x2A, false}, {0x38, false}, {0x5B, true},
                                          {0x1D, true},  {0x36, false}, {0x38, true},  {0x5C, true}};
    if (usage >= 0xE0 && usage <= 0xE7)
        return modifiers[usage - 0xE0];
    return std::nullopt;
}

void track_modifier(USAGE usage, bool make, HIDP_KEYBOARD_MODIFIER_STATE& state)
{
    if (usage >= 0xE0 && usage <= 0xE7) {
        const ULONG bit = 1u << (usage - 0xE0);
        state.ul = make ? (state.ul | bit) : (state.ul & ~bit);
    } else if (usage == 0x39 && make) {
        state.CapsLock = !state.CapsLock;
    }
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
    const auto& layout = file->collection()->layout();
    Attributes->Size = sizeof(HIDD_ATTRIBUTES);
    Attributes->VendorID = layout.vendorId;
    Attributes->ProductID = layout.productId;
    Attributes->VersionNumber = layout.versionNumber;
    return TRUE;
}

BOOLEAN HidD_GetProductString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength)
{
    return copy_string(HidDeviceObject, Buffer, BufferLength, kProductStringIndex);
}

BOOLEAN HidD_GetSerialNumberString(HANDLE HidDeviceObject, PVOID Buffer, ULONG BufferLength)
{
    return copy_string(HidDeviceObject, Buffer, BufferLength, kSerialNumberIndex);
}

BOOLEAN HidD_GetIndexedString(HANDLE HidDeviceObject, ULONG StringIndex, PVOID Buffer, ULONG BufferLength)
{
    return copy_string(HidDeviceObject, Buffer, BufferLength, StringIndex);
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
    const NTSTATUS status = check_parser_call(PreparsedData, ReportType);
    return status != HIDP_STATUS_SUCCESS ? status
                                         : copy_caps(PreparsedData->values[ReportType], ValueCaps, ValueCapsLength);
}

NTSTATUS HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, PHIDP_BUTTON_CAPS ButtonCaps, PUSHORT ButtonCapsLength,
                            PHIDP_PREPARSED_DATA PreparsedData)
{
    const NTSTATUS status = check_parser_call(PreparsedData, ReportType);
    return status != HIDP_STATUS_SUCCESS ? status
                                         : copy_caps(PreparsedData->buttons[ReportType], ButtonCaps, ButtonCapsLength);
}

NTSTATUS HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, USAGE Usage,
                                    PHIDP_BUTTON_CAPS ButtonCaps, PUSHORT ButtonCapsLength,
                                    PHIDP_PREPARSED_DATA PreparsedData)
{
    const NTSTATUS status = check_parser_call(PreparsedData, ReportType);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    std::vector<HIDP_BUTTON_CAPS> matching;
    if (in_top_collection(LinkCollection))
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

NTSTATUS HidP_GetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, PUSAGE UsageList,
                        PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report, ULONG ReportLength)
{
    NTSTATUS status = check_report_call(PreparsedData, ReportType, Report, ReportLength, UsageLength);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    if (!in_top_collection(LinkCollection) || UsagePage == 0)
        return HIDP_STATUS_USAGE_NOT_FOUND;
    std::vector<USAGE_AND_PAGE> pressed;
    status = pressed_buttons(*PreparsedData, ReportType, UsagePage, Report, pressed);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    const ULONG room = UsageList ? *UsageLength : 0;
    *UsageLength = static_cast<ULONG>(pressed.size());
    if (pressed.size() > room)
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    for (std::size_t i = 0; i < pressed.size(); ++i)
        UsageList[i] = pressed[i].Usage;
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS HidP_GetUsagesEx(HIDP_REPORT_TYPE ReportType, USHORT LinkCollection, PUSAGE_AND_PAGE ButtonList,
                          PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report, ULONG ReportLength)
{
    NTSTATUS status = check_report_call(PreparsedData, ReportType, Report, ReportLength, UsageLength);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    if (!in_top_collection(LinkCollection))
        return HIDP_STATUS_USAGE_NOT_FOUND;
    std::vector<USAGE_AND_PAGE> pressed;
    status = pressed_buttons(*PreparsedData, ReportType, 0, Report, pressed);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    const ULONG room = ButtonList ? *UsageLength : 0;
    *UsageLength = static_cast<ULONG>(pressed.size());
    if (pressed.size() > room)
        return HIDP_STATUS_BUFFER_TOO_SMALL;
    std::copy(pressed.begin(), pressed.end(), ButtonList);
    return HIDP_STATUS_SUCCESS;
}

NTSTATUS HidP_SetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, PUSAGE UsageList,
                        PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report, ULONG ReportLength)
{
    return change_buttons(ReportType, UsagePage, LinkCollection, UsageList, UsageLength, PreparsedData, Report,
                          ReportLength, true);
}

NTSTATUS HidP_UnsetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, PUSAGE UsageList,
                          PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report, ULONG ReportLength)
{
    return change_buttons(ReportType, UsagePage, LinkCollection, UsageList, UsageLength, PreparsedData, Report,
                          ReportLength, false);
}

NTSTATUS HidP_GetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, USAGE Usage,
                            PULONG UsageValue, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report, ULONG ReportLength)
{
    const NTSTATUS status = check_report_call(PreparsedData, ReportType, Report, ReportLength, UsageValue);
    if (status != HIDP_STATUS_SUCCESS)
        return status;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(Report);
    bool found = false;
    if (in_top_collection(LinkCollection))
        for (const auto& v : PreparsedData->values[ReportType]) {
            if (v.UsagePage != UsagePage || v.NotRange.Usage != Usage)
                continue;
            found = true;
            // A value array answers with its first element, the byte after the report id.
            if (v.ReportID == bytes[0] && v.ReportCount > 0 && ReportLength > 1) {
                *UsageValue = bytes[1];
                return HIDP_STATUS_SUCCESS;
            }
        }
    return found ? HIDP_STATUS_INCOMPATIBLE_REPORT_ID : HIDP_STATUS_USAGE_NOT_FOUND;
}

NTSTATUS HidP_TranslateUsagesToI8042ScanCodes(PUSAGE ChangedUsageList, ULONG UsageListLength,
                                              HIDP_KEYBOARD_DIRECTION KeyAction,
                                              PHIDP_KEYBOARD_MODIFIER_STATE ModifierState,
                                              PHIDP_INSERT_SCANCODES InsertCodesProcedure, PVOID InsertCodesContext)
{
    if ((!ChangedUsageList && UsageListLength != 0) || !ModifierState || !InsertCodesProcedure)
        return HIDP_STATUS_NULL;
    const bool make = KeyAction == HidP_Keyboard_Make;
    for (ULONG i = 0; i < UsageListLength && ChangedUsageList[i] != 0; ++i) {
        const USAGE usage = ChangedUsageList[i];
        const auto code = scan_code(usage);
        if (!code)
            return HIDP_STATUS_I8042_TRANS_UNKNOWN;
        track_modifier(usage, make, *ModifierState);
        CHAR codes[2];
        ULONG n = 0;
        if (code->extended)
            codes[n++] = static_cast<CHAR>(0xE0);
        codes[n++] = static_cast<CHAR>(make ? code->code : (code->code | 0x80));
        if (!InsertCodesProcedure(InsertCodesContext, codes, n))
            break;
    }
    return HIDP_STATUS_SUCCESS;
}
