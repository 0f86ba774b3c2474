#pragma once

#include <cstdint>
#include <type_traits>

// The few types, constants and entry points of the VISA C library that
// Mardock calls. Declared here so the library is only ever loaded at run
// time and never needed to build.
namespace VisaApi {

using ViStatus = std::int32_t;
using ViUInt32 = std::uint32_t;
using ViObject = ViUInt32;
using ViSession = ViObject;
using ViFindList = ViObject;
using ViAttr = ViUInt32;
// Pointer-sized, as the library's own headers make it.
using ViAttrState = std::conditional_t<sizeof(void *) == 8, std::uint64_t, std::uint32_t>;

constexpr ViStatus Success = 0;
constexpr ViStatus SuccessTermChar = ViStatus(0x3FFF0005);
constexpr ViStatus SuccessMaxCount = ViStatus(0x3FFF0006);
constexpr ViStatus ErrorResourceNotFound = ViStatus(0xBFFF0011);
constexpr ViStatus ErrorTimeout = ViStatus(0xBFFF0015);

constexpr ViAttr AttrTermChar = 0x3FFF0018;
constexpr ViAttr AttrTimeoutValue = 0x3FFF001A;
constexpr ViAttr AttrTermCharEnabled = 0x3FFF0038;

constexpr ViUInt32 NoLock = 0;
// The size of every descriptor and description buffer the library fills.
constexpr int BufferLength = 256;

#if defined(_WIN32) && !defined(_WIN64)
#define MARDOCK_VISA_CALL __stdcall
#else
#define MARDOCK_VISA_CALL
#endif

extern "C" {
using OpenDefaultRM = ViStatus(MARDOCK_VISA_CALL *)(ViSession *session);
using FindRsrc = ViStatus(MARDOCK_VISA_CALL *)(ViSession session, const char *expression,
                                               ViFindList *list, ViUInt32 *count, char *first);
using FindNext = ViStatus(MARDOCK_VISA_CALL *)(ViFindList list, char *next);
using Open = ViStatus(MARDOCK_VISA_CALL *)(ViSession session, const char *name, ViUInt32 mode,
                                           ViUInt32 openTimeout, ViSession *opened);
using Close = ViStatus(MARDOCK_VISA_CALL *)(ViObject object);
using SetAttribute = ViStatus(MARDOCK_VISA_CALL *)(ViObject object, ViAttr attribute,
                                                   ViAttrState value);
using Write = ViStatus(MARDOCK_VISA_CALL *)(ViSession session, const unsigned char *buffer,
                                            ViUInt32 count, ViUInt32 *written);
using Read = ViStatus(MARDOCK_VISA_CALL *)(ViSession session, unsigned char *buffer, ViUInt32 count,
                                           ViUInt32 *got);
using Clear = ViStatus(MARDOCK_VISA_CALL *)(ViSession session);
using StatusDesc = ViStatus(MARDOCK_VISA_CALL *)(ViObject object, ViStatus status,
                                                 char *description);
}

} // namespace VisaApi
