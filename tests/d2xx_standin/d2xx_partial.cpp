// A D2XX library that lacks most of the calls: the tests of a library the backend cannot use.

#include "core/device/d2xx_api.h"

#if defined(_WIN32)
#define STANDIN_EXPORT extern "C" __declspec(dllexport)
#else
#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

STANDIN_EXPORT d2xx::FT_STATUS D2XX_CALL FT_CreateDeviceInfoList(d2xx::DWORD* lpdwNumDevs) {
    if (lpdwNumDevs != nullptr)
        *lpdwNumDevs = 0;
    return d2xx::FT_OK;
}
