// Constant texts of the C interface and the generic receiver record.
#include "QVApi.h"
#include "WideText.h"

extern "C" const WCHAR* QV_ErrorToString(int code)
{
    static const WCHAR* const texts[] = {
        QV_W("Success"),        QV_W("Invalid Param"),    QV_W("Invalid Handle"),
        QV_W("Not Supported"),  QV_W("No FW Update"),     QV_W("Negative answer"),
        QV_W("Positive answer"), QV_W("Low Battery"),     QV_W("Device Error"),
        QV_W("Too many devices"), QV_W("Link Loss"),      QV_W("Resource Error"),
        QV_W("Generic DFU Error"), QV_W("Critical error"), QV_W("A DFU is in progress"),
    };
    if (code < 0 || code >= static_cast<int>(sizeof texts / sizeof texts[0]))
        return QV_W("QV_ErrorToString needs to be updated");
    return texts[code];
}

extern "C" const WCHAR* QV_EventToString(int code)
{
    static const WCHAR* const texts[] = {
        QV_W("DEVICE ARRIVAL"),     QV_W("DEVICE REMOVAL"),    QV_W("ENUMERATION COMPLETE"),
        QV_W("WIRELESS STATUS"),    QV_W("DFU PROGRESS"),      QV_W("DFU BATTERY CHECK"),
        QV_W("DFU STATUS CHANGED"), QV_W("BATTERY STATUS"),    QV_W("USER ACTIVITY"),
        QV_W("DEVICE POWER UP"),    QV_W("DFU MILESTONE"),     QV_W("PAIRING STATUS"),
    };
    if (code < 0 || code >= static_cast<int>(sizeof texts / sizeof texts[0]))
        return QV_W("QV_EventToString needs to be updated");
    return texts[code];
}
