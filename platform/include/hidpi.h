// HID parser of the simulated HID class driver: capabilities of a top-level collection.
#pragma once

// As in the SDK, this header takes USAGE from hidusage.h and NTSTATUS from hidsdi.h (or ntdef.h):
// include hidsdi.h, which brings both in first, not this header on its own.
#include <windows.h>

#include <cstddef>

typedef struct _USAGE_AND_PAGE {
    USAGE Usage;
    USAGE UsagePage;
} USAGE_AND_PAGE, *PUSAGE_AND_PAGE;

// Keyboard usages to set-1 scan codes.
typedef enum _HIDP_KEYBOARD_DIRECTION { HidP_Keyboard_Break, HidP_Keyboard_Make } HIDP_KEYBOARD_DIRECTION;

typedef struct _HIDP_KEYBOARD_MODIFIER_STATE {
    union {
        struct {
            ULONG LeftControl : 1;
            ULONG LeftShift : 1;
            ULONG LeftAlt : 1;
            ULONG LeftGUI : 1;
            ULONG RightControl : 1;
            ULONG RightShift : 1;
            ULONG RightAlt : 1;
            ULONG RigthGUI : 1;
            ULONG CapsLock : 1;
            ULONG ScollLock : 1;
            ULONG NumLock : 1;
            ULONG Reserved : 21;
        };
        ULONG ul;
    };
} HIDP_KEYBOARD_MODIFIER_STATE, *PHIDP_KEYBOARD_MODIFIER_STATE;

// Receives the scan codes of one key; FALSE stops the translation.
typedef BOOLEAN (*PHIDP_INSERT_SCANCODES)(PVOID Context, PCHAR NewScanCodes, ULONG Length);

typedef struct _HIDP_PREPARSED_DATA* PHIDP_PREPARSED_DATA;

typedef enum _HIDP_REPORT_TYPE { HidP_Input, HidP_Output, HidP_Feature } HIDP_REPORT_TYPE;

#define HIDP_STATUS_SUCCESS ((NTSTATUS)0x00110000)
#define HIDP_STATUS_NULL ((NTSTATUS)0x80110001)
#define HIDP_STATUS_INVALID_PREPARSED_DATA ((NTSTATUS)0xC0110001)
#define HIDP_STATUS_INVALID_REPORT_TYPE ((NTSTATUS)0xC0110002)
#define HIDP_STATUS_INVALID_REPORT_LENGTH ((NTSTATUS)0xC0110003)
#define HIDP_STATUS_USAGE_NOT_FOUND ((NTSTATUS)0xC0110004)
#define HIDP_STATUS_VALUE_OUT_OF_RANGE ((NTSTATUS)0xC0110005)
#define HIDP_STATUS_BUFFER_TOO_SMALL ((NTSTATUS)0xC0110007)
#define HIDP_STATUS_I8042_TRANS_UNKNOWN ((NTSTATUS)0xC0110009)
#define HIDP_STATUS_INCOMPATIBLE_REPORT_ID ((NTSTATUS)0xC011000A)
#define HIDP_STATUS_BUTTON_NOT_PRESSED ((NTSTATUS)0xC011000F)
#define HIDP_STATUS_REPORT_DOES_NOT_EXIST ((NTSTATUS)0xC0110010)
#define HIDP_STATUS_NOT_IMPLEMENTED ((NTSTATUS)0xC0110020)

typedef struct _HIDP_CAPS {
    USAGE Usage;
    USAGE UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
} HIDP_CAPS, *PHIDP_CAPS;

struct HIDP_CAPS_RANGE_ {
    USAGE UsageMin, UsageMax;
    USHORT StringMin, StringMax;
    USHORT DesignatorMin, DesignatorMax;
    USHORT DataIndexMin, DataIndexMax;
};
struct HIDP_CAPS_NOT_RANGE_ {
    USAGE Usage, Reserved1;
    USHORT StringIndex, Reserved2;
    USHORT DesignatorIndex, Reserved3;
    USHORT DataIndex, Reserved4;
};

typedef struct _HIDP_BUTTON_CAPS {
    USAGE UsagePage;
    UCHAR ReportID;
    BOOLEAN IsAlias;
    USHORT BitField;
    USHORT LinkCollection;
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    BOOLEAN IsRange;
    BOOLEAN IsStringRange;
    BOOLEAN IsDesignatorRange;
    BOOLEAN IsAbsolute;
    USHORT ReportCount;
    USHORT Reserved2;
    ULONG Reserved[9];
    union {
        HIDP_CAPS_RANGE_ Range;
        HIDP_CAPS_NOT_RANGE_ NotRange;
    };
} HIDP_BUTTON_CAPS, *PHIDP_BUTTON_CAPS;

typedef struct _HIDP_VALUE_CAPS {
    USAGE UsagePage;
    UCHAR ReportID;
    BOOLEAN IsAlias;
    USHORT BitField;
    USHORT LinkCollection;
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    BOOLEAN IsRange;
    BOOLEAN IsStringRange;
    BOOLEAN IsDesignatorRange;
    BOOLEAN IsAbsolute;
    BOOLEAN HasNull;
    UCHAR Reserved;
    USHORT BitSize;
    USHORT ReportCount;
    USHORT Reserved2[5];
    ULONG UnitsExp;
    ULONG Units;
    LONG LogicalMin, LogicalMax;
    LONG PhysicalMin, PhysicalMax;
    union {
        HIDP_CAPS_RANGE_ Range;
        HIDP_CAPS_NOT_RANGE_ NotRange;
    };
} HIDP_VALUE_CAPS, *PHIDP_VALUE_CAPS;

typedef struct _HIDP_LINK_COLLECTION_NODE {
    USAGE LinkUsage;
    USAGE LinkUsagePage;
    USHORT Parent;
    USHORT NumberOfChildren;
    USHORT NextSibling;
    USHORT FirstChild;
    ULONG CollectionType : 8;
    ULONG IsAlias : 1;
    ULONG Reserved : 23;
    PVOID UserContext;
} HIDP_LINK_COLLECTION_NODE, *PHIDP_LINK_COLLECTION_NODE;

static_assert(sizeof(HIDP_CAPS) == 64, "HIDP_CAPS is 64 bytes");
static_assert(offsetof(HIDP_CAPS, NumberLinkCollectionNodes) == 44, "counts follow the reserved words");
static_assert(sizeof(HIDP_BUTTON_CAPS) == 72, "HIDP_BUTTON_CAPS is 72 bytes");
static_assert(sizeof(HIDP_VALUE_CAPS) == 72, "HIDP_VALUE_CAPS is 72 bytes");
static_assert(offsetof(HIDP_BUTTON_CAPS, ReportID) == 2, "report id at offset 2");
static_assert(offsetof(HIDP_VALUE_CAPS, ReportID) == 2, "report id at offset 2");
static_assert(offsetof(HIDP_VALUE_CAPS, ReportCount) == 20, "value report count at offset 20");
static_assert(offsetof(HIDP_BUTTON_CAPS, Range) == 56, "usage range at offset 56");
static_assert(offsetof(HIDP_VALUE_CAPS, Range) == 56, "usage range at offset 56");
static_assert(sizeof(HIDP_LINK_COLLECTION_NODE) == 24, "HIDP_LINK_COLLECTION_NODE is 24 bytes");
static_assert(sizeof(USAGE_AND_PAGE) == 4, "USAGE_AND_PAGE is 4 bytes");
static_assert(sizeof(HIDP_KEYBOARD_MODIFIER_STATE) == 4, "modifier state is one ULONG");

NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities);
NTSTATUS WINAPI HidP_GetValueCaps(HIDP_REPORT_TYPE ReportType, PHIDP_VALUE_CAPS ValueCaps,
                                  PUSHORT ValueCapsLength, PHIDP_PREPARSED_DATA PreparsedData);
NTSTATUS WINAPI HidP_GetButtonCaps(HIDP_REPORT_TYPE ReportType, PHIDP_BUTTON_CAPS ButtonCaps,
                                   PUSHORT ButtonCapsLength, PHIDP_PREPARSED_DATA PreparsedData);
NTSTATUS WINAPI HidP_GetSpecificButtonCaps(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                                           USAGE Usage, PHIDP_BUTTON_CAPS ButtonCaps, PUSHORT ButtonCapsLength,
                                           PHIDP_PREPARSED_DATA PreparsedData);
NTSTATUS WINAPI HidP_GetLinkCollectionNodes(PHIDP_LINK_COLLECTION_NODE LinkCollectionNodes,
                                            PULONG LinkCollectionNodesLength, PHIDP_PREPARSED_DATA PreparsedData);
// Buttons of a report are bitmaps (usage n is bit n-1 after the report id); values are bytes.
NTSTATUS WINAPI HidP_GetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, PUSAGE UsageList,
                               PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                               ULONG ReportLength);
NTSTATUS WINAPI HidP_GetUsagesEx(HIDP_REPORT_TYPE ReportType, USHORT LinkCollection, PUSAGE_AND_PAGE ButtonList,
                                 PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                 ULONG ReportLength);
NTSTATUS WINAPI HidP_SetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, PUSAGE UsageList,
                               PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                               ULONG ReportLength);
NTSTATUS WINAPI HidP_UnsetUsages(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection,
                                 PUSAGE UsageList, PULONG UsageLength, PHIDP_PREPARSED_DATA PreparsedData,
                                 PCHAR Report, ULONG ReportLength);
NTSTATUS WINAPI HidP_GetUsageValue(HIDP_REPORT_TYPE ReportType, USAGE UsagePage, USHORT LinkCollection, USAGE Usage,
                                   PULONG UsageValue, PHIDP_PREPARSED_DATA PreparsedData, PCHAR Report,
                                   ULONG ReportLength);
NTSTATUS WINAPI HidP_TranslateUsagesToI8042ScanCodes(PUSAGE ChangedUsageList, ULONG UsageListLength,
                                                     HIDP_KEYBOARD_DIRECTION KeyAction,
                                                     PHIDP_KEYBOARD_MODIFIER_STATE ModifierState,
                                                     PHIDP_INSERT_SCANCODES InsertCodesProcedure,
                                                     PVOID InsertCodesContext);
