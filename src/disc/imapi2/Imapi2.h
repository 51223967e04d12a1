#pragma once

// What the engine needs of IMAPI2, which mingw-w64 ships no header for: the classes it
// creates, the event interfaces it listens on and the values it reads. The objects are driven
// through their IDispatch side (every IMAPI2 interface is dual), so no vtable is declared here.

#include <windows.h>

namespace kestrel::imapi2 {

// imapi2.dll
inline constexpr GUID MsftDiscMaster2{
    0x2735412E, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr GUID MsftDiscRecorder2{
    0x2735412D, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr GUID MsftDiscFormat2Erase{
    0x2735412B, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr GUID MsftDiscFormat2Data{
    0x2735412A, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
// imapi2fs.dll
inline constexpr GUID MsftFileSystemImage{
    0x2C941FC5, 0x975B, 0x59BE, {0xA9, 0x60, 0x9A, 0x2A, 0x26, 0x28, 0x53, 0xA5}};

// Event (source) interfaces, each with one method, Update.
inline constexpr GUID DDiscFormat2DataEvents{
    0x2735413C, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
inline constexpr GUID DDiscFormat2EraseEvents{
    0x2735413A, 0x7F64, 0x5B0F, {0x8F, 0x00, 0x5D, 0x77, 0xAF, 0xBE, 0x26, 0x1E}};
// Update(object, progress) and Update(object, elapsedSeconds, estimatedTotalSeconds).
inline constexpr DISPID UpdateEvent = 0x200;

// IMAPI_MEDIA_PHYSICAL_TYPE
namespace mediatype {
inline constexpr long Unknown = 0;
inline constexpr long CdRom = 1;
inline constexpr long CdR = 2;
inline constexpr long CdRw = 3;
inline constexpr long DvdRom = 4;
inline constexpr long DvdRam = 5;
inline constexpr long DvdPlusR = 6;
inline constexpr long DvdPlusRw = 7;
inline constexpr long DvdPlusRDualLayer = 8;
inline constexpr long DvdDashR = 9;
inline constexpr long DvdDashRw = 10;
inline constexpr long DvdDashRDualLayer = 11;
inline constexpr long Disk = 12;
inline constexpr long DvdPlusRwDualLayer = 13;
inline constexpr long HdDvdRom = 14;
inline constexpr long HdDvdR = 15;
inline constexpr long HdDvdRam = 16;
inline constexpr long BdRom = 17;
inline constexpr long BdR = 18;
inline constexpr long BdRe = 19;
}  // namespace mediatype

// IMAPI_FORMAT2_DATA_WRITE_ACTION
namespace writeaction {
inline constexpr long ValidatingMedia = 0;
inline constexpr long FormattingMedia = 1;
inline constexpr long InitializingHardware = 2;
inline constexpr long CalibratingPower = 3;
inline constexpr long WritingData = 4;
inline constexpr long Finalization = 5;
inline constexpr long Completed = 6;
inline constexpr long Verifying = 7;
}  // namespace writeaction

// IMAPI_PROFILE_TYPE values of re-writable discs, as IDiscRecorder2::SupportedProfiles lists them.
namespace profile {
inline constexpr long CdRewritable = 0x0A;
inline constexpr long DvdRam = 0x12;
inline constexpr long DvdDashRewritable = 0x13;
inline constexpr long DvdDashRwSequential = 0x14;
inline constexpr long DvdPlusRw = 0x1A;
inline constexpr long DvdPlusRwDualLayer = 0x2A;
inline constexpr long BdRewritable = 0x43;
}  // namespace profile

// FsiFileSystems: the same bits as the writer's file-system code.
inline constexpr long FsiIso9660 = 1;
inline constexpr long FsiJoliet = 2;
inline constexpr long FsiUdf = 4;

// IMAPI_SECTOR_SIZE
inline constexpr int SectorSize = 2048;

// IMAPI_E_* results that the engine tells apart.
inline constexpr HRESULT RequestCancelled = static_cast<HRESULT>(0xC0AA0002);

}  // namespace kestrel::imapi2
