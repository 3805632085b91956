#pragma once
// The calls of FTDI's D2XX driver library (ftd2xx) and of its chip-identification library
// (FTChipID) that the D2XX backend makes, declared here with the signatures, types and
// calling convention of FTDI's D2XX Programmer's Guide, so that the vendor's header is not
// needed to build and its libraries are only loaded at run time. The test stand-in
// (tests/d2xx_standin) exports the same calls from these declarations.

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define D2XX_CALL __stdcall // WINAPI, as ftd2xx.dll exports its calls
#else
#define D2XX_CALL
#endif

namespace d2xx {

// The guide's Windows types: DWORD and ULONG are 32 bits on every platform the library
// supports (the Linux library keeps the Windows sizes), UCHAR 8 and USHORT 16.
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using UCHAR = unsigned char;
using USHORT = std::uint16_t;
using FT_HANDLE = void*;
using FT_STATUS = ULONG;

// FT_STATUS values.
constexpr FT_STATUS FT_OK = 0;
constexpr FT_STATUS FT_INVALID_HANDLE = 1;
constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
constexpr FT_STATUS FT_IO_ERROR = 4;
constexpr FT_STATUS FT_INSUFFICIENT_RESOURCES = 5;
constexpr FT_STATUS FT_INVALID_PARAMETER = 6;
constexpr FT_STATUS FT_INVALID_BAUD_RATE = 7;
constexpr FT_STATUS FT_OTHER_ERROR = 18;

// FT_OpenEx flags.
constexpr DWORD FT_OPEN_BY_SERIAL_NUMBER = 1;
constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
constexpr DWORD FT_OPEN_BY_LOCATION = 4;

// FT_SetDataCharacteristics, FT_SetFlowControl and FT_Purge arguments.
constexpr UCHAR FT_BITS_8 = 8;
constexpr UCHAR FT_STOP_BITS_1 = 0;
constexpr UCHAR FT_PARITY_NONE = 0;
constexpr USHORT FT_FLOW_NONE = 0x0000;
constexpr ULONG FT_PURGE_RX = 1;
constexpr ULONG FT_PURGE_TX = 2;

// Bits of FT_DEVICE_LIST_INFO_NODE::Flags.
constexpr ULONG FT_FLAGS_OPENED = 1;
constexpr ULONG FT_FLAGS_HISPEED = 2;

// One entry of the device-information list, in the library's layout.
struct FT_DEVICE_LIST_INFO_NODE {
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

// FTChipID's status: FTID_SUCCESS is 0.
using FTID_STATUS = long;

extern "C" {
using FT_CreateDeviceInfoList_t = FT_STATUS(D2XX_CALL*)(DWORD* lpdwNumDevs);
using FT_GetDeviceInfoList_t = FT_STATUS(D2XX_CALL*)(FT_DEVICE_LIST_INFO_NODE* pDest, DWORD* lpdwNumDevs);
using FT_OpenEx_t = FT_STATUS(D2XX_CALL*)(void* pArg1, DWORD Flags, FT_HANDLE* pHandle);
using FT_Close_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle);
using FT_SetTimeouts_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, ULONG ReadTimeout, ULONG WriteTimeout);
using FT_SetBaudRate_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, ULONG BaudRate);
using FT_SetDataCharacteristics_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, UCHAR WordLength,
                                                          UCHAR StopBits, UCHAR Parity);
using FT_SetFlowControl_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, USHORT FlowControl, UCHAR XonChar,
                                                  UCHAR XoffChar);
using FT_Purge_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, ULONG Mask);
using FT_Read_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, void* lpBuffer, DWORD dwBytesToRead,
                                        DWORD* lpdwBytesReturned);
using FT_Write_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, void* lpBuffer, DWORD dwBytesToWrite,
                                         DWORD* lpdwBytesWritten);
using FT_GetQueueStatus_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, DWORD* dwRxBytes);
using FT_SetLatencyTimer_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, UCHAR ucLatency);
using FT_GetLatencyTimer_t = FT_STATUS(D2XX_CALL*)(FT_HANDLE ftHandle, UCHAR* pucLatency);
// The chip identifier is written as an unsigned long, whatever its size on the platform.
using FTID_GetChipIDFromHandle_t = FTID_STATUS(D2XX_CALL*)(FT_HANDLE Handle, unsigned long* ChipIdBuffer);
}

// The driver's name of a status, for messages ("FT_IO_ERROR"); the number for others.
std::string statusName(FT_STATUS status);

} // namespace d2xx
