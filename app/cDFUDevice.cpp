#include "cDFUDevice.h"

int cDFUDevice::startUpdate(const char*, int, const char*, int, bool) { return DFU_ERR_NOT_SUPPORTED; }

int cDFUDevice::startReceiverUpdate(const char*, int, const char*, int) { return DFU_ERR_NOT_SUPPORTED; }
