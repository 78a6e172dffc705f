// The TWAIN 1.x protocol as the acquisition drives it: the types, data
// structures, containers and codes of the published protocol, defined here
// so that nothing outside this folder is needed.
//
// Every operation is one call of the manager's entry with an origin (the
// application's identity), a destination (a source's identity, or none for
// the manager itself), a data group, a data argument type, a message and a
// pointer to the data of that triplet. The call returns a TWRC_ code; after
// TWRC_FAILURE the condition code (TWCC_) is asked with DAT_STATUS.
//
// Capability containers travel in TW_CAPABILITY::hContainer. Whoever asks
// (MSG_GET) receives a container the answering side allocated with
// AllocContainer; whoever sets (MSG_SET) allocates it. The receiving side of
// a MSG_GET, and the sender of a MSG_SET, frees it with FreeContainer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace acquire {

using TW_INT8 = int8_t;
using TW_INT16 = int16_t;
using TW_INT32 = int32_t;
using TW_UINT8 = uint8_t;
using TW_UINT16 = uint16_t;
using TW_UINT32 = uint32_t;
using TW_BOOL = uint16_t;
using TW_MEMREF = void*;
using TW_HANDLE = void*;
// Strings are NUL-terminated within their fixed size: at most 33 characters
// in a TW_STR32.
using TW_STR32 = char[34];
using TW_STR255 = char[256];

struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;
  TW_UINT16 Country;
  TW_STR32 Info;
};

struct TW_IDENTITY {
  TW_UINT32 Id;
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;
};

struct TW_IMAGEINFO {
  TW_FIX32 XResolution;
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;   // -1 when not known before the transfer
  TW_INT32 ImageLength;  // -1 when not known before the transfer
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;
  TW_UINT16 Compression;
};

struct TW_ELEMENT8 {
  TW_UINT8 Index;
  TW_UINT8 Channel1;
  TW_UINT8 Channel2;
  TW_UINT8 Channel3;
};

struct TW_PALETTE8 {
  TW_UINT16 NumColors;
  TW_UINT16 PaletteType;
  TW_ELEMENT8 Colors[256];
};

struct TW_SETUPMEMXFER {
  TW_UINT32 MinBufSize;
  TW_UINT32 MaxBufSize;
  TW_UINT32 Preferred;  // 0xFFFFFFFF: no preference
};

struct TW_MEMORY {
  TW_UINT32 Flags;  // TWMF_ bits
  TW_UINT32 Length;
  TW_MEMREF TheMem;
};

struct TW_IMAGEMEMXFER {
  TW_UINT16 Compression;
  TW_UINT32 BytesPerRow;
  TW_UINT32 Columns;
  TW_UINT32 Rows;
  TW_UINT32 XOffset;
  TW_UINT32 YOffset;
  TW_UINT32 BytesWritten;
  TW_MEMORY Memory;
};

struct TW_PENDINGXFERS {
  TW_UINT16 Count;  // 0xFFFF: unknown number still to come
  TW_UINT32 Reserved;
};

struct TW_CAPABILITY {
  TW_UINT16 Cap;
  TW_UINT16 ConType;  // TWON_ONEVALUE, TWON_ENUMERATION, ...
  TW_HANDLE hContainer;
};

struct TW_ONEVALUE {
  TW_UINT16 ItemType;
  TW_UINT32 Item;
};

// ItemList holds NumItems items of ItemType packed one after another.
struct TW_ENUMERATION {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1];
};

struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

// pEvent is the platform's event; TWMessage is what the source says about it.
struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

// The shape of the manager's entry.
using DSMENTRYPROC = TW_UINT16 (*)(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                                   TW_UINT16 msg, TW_MEMREF data);

// Data groups.
inline constexpr TW_UINT32 DG_CONTROL = 0x1;
inline constexpr TW_UINT32 DG_IMAGE = 0x2;

// Data argument types.
inline constexpr TW_UINT16 DAT_CAPABILITY = 0x1;
inline constexpr TW_UINT16 DAT_EVENT = 0x2;
inline constexpr TW_UINT16 DAT_IDENTITY = 0x3;
inline constexpr TW_UINT16 DAT_PARENT = 0x4;
inline constexpr TW_UINT16 DAT_PENDINGXFERS = 0x5;
inline constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x6;
inline constexpr TW_UINT16 DAT_STATUS = 0x8;
inline constexpr TW_UINT16 DAT_USERINTERFACE = 0x9;
inline constexpr TW_UINT16 DAT_IMAGEINFO = 0x101;
inline constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x103;
inline constexpr TW_UINT16 DAT_PALETTE8 = 0x10a;

// Messages.
inline constexpr TW_UINT16 MSG_NULL = 0x0;
inline constexpr TW_UINT16 MSG_GET = 0x1;
inline constexpr TW_UINT16 MSG_GETCURRENT = 0x2;
inline constexpr TW_UINT16 MSG_GETDEFAULT = 0x3;
inline constexpr TW_UINT16 MSG_GETFIRST = 0x4;
inline constexpr TW_UINT16 MSG_GETNEXT = 0x5;
inline constexpr TW_UINT16 MSG_SET = 0x6;
inline constexpr TW_UINT16 MSG_RESET = 0x7;
inline constexpr TW_UINT16 MSG_XFERREADY = 0x101;
inline constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x102;
inline constexpr TW_UINT16 MSG_OPENDSM = 0x301;
inline constexpr TW_UINT16 MSG_CLOSEDSM = 0x302;
inline constexpr TW_UINT16 MSG_OPENDS = 0x401;
inline constexpr TW_UINT16 MSG_CLOSEDS = 0x402;
inline constexpr TW_UINT16 MSG_USERSELECT = 0x403;
inline constexpr TW_UINT16 MSG_DISABLEDS = 0x501;
inline constexpr TW_UINT16 MSG_ENABLEDS = 0x502;
inline constexpr TW_UINT16 MSG_PROCESSEVENT = 0x601;
inline constexpr TW_UINT16 MSG_ENDXFER = 0x701;

// Return codes.
inline constexpr TW_UINT16 TWRC_SUCCESS = 0;
inline constexpr TW_UINT16 TWRC_FAILURE = 1;
inline constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;
inline constexpr TW_UINT16 TWRC_CANCEL = 3;
inline constexpr TW_UINT16 TWRC_DSEVENT = 4;
inline constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
inline constexpr TW_UINT16 TWRC_XFERDONE = 6;
inline constexpr TW_UINT16 TWRC_ENDOFLIST = 7;

// Condition codes.
inline constexpr TW_UINT16 TWCC_SUCCESS = 0;
inline constexpr TW_UINT16 TWCC_BUMMER = 1;
inline constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
inline constexpr TW_UINT16 TWCC_NODS = 3;
inline constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;
inline constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;
inline constexpr TW_UINT16 TWCC_BADCAP = 6;
inline constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
inline constexpr TW_UINT16 TWCC_BADVALUE = 10;
inline constexpr TW_UINT16 TWCC_SEQERROR = 11;
inline constexpr TW_UINT16 TWCC_BADDEST = 12;

// Item types.
inline constexpr TW_UINT16 TWTY_INT8 = 0;
inline constexpr TW_UINT16 TWTY_INT16 = 1;
inline constexpr TW_UINT16 TWTY_INT32 = 2;
inline constexpr TW_UINT16 TWTY_UINT8 = 3;
inline constexpr TW_UINT16 TWTY_UINT16 = 4;
inline constexpr TW_UINT16 TWTY_UINT32 = 5;
inline constexpr TW_UINT16 TWTY_BOOL = 6;

// Container types.
inline constexpr TW_UINT16 TWON_ARRAY = 3;
inline constexpr TW_UINT16 TWON_ENUMERATION = 4;
inline constexpr TW_UINT16 TWON_ONEVALUE = 5;
inline constexpr TW_UINT16 TWON_RANGE = 6;
inline constexpr TW_UINT16 TWON_DONTCARE16 = 0xFFFF;

// Capabilities.
inline constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
inline constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
inline constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;

// Transfer mechanisms.
inline constexpr TW_UINT16 TWSX_NATIVE = 0;
inline constexpr TW_UINT16 TWSX_FILE = 1;
inline constexpr TW_UINT16 TWSX_MEMORY = 2;

// Pixel types.
inline constexpr TW_UINT16 TWPT_BW = 0;
inline constexpr TW_UINT16 TWPT_GRAY = 1;
inline constexpr TW_UINT16 TWPT_RGB = 2;
inline constexpr TW_UINT16 TWPT_PALETTE = 3;

// Memory flags.
inline constexpr TW_UINT32 TWMF_APPOWNS = 0x1;
inline constexpr TW_UINT32 TWMF_DSMOWNS = 0x2;
inline constexpr TW_UINT32 TWMF_DSOWNS = 0x4;
inline constexpr TW_UINT32 TWMF_POINTER = 0x8;
inline constexpr TW_UINT32 TWMF_HANDLE = 0x10;

// Palette types.
inline constexpr TW_UINT16 TWPA_RGB = 0;
inline constexpr TW_UINT16 TWPA_GRAY = 1;

inline constexpr TW_UINT16 TWCP_NONE = 0;
inline constexpr TW_UINT16 TWLG_USA = 13;
inline constexpr TW_UINT16 TWCY_USA = 1;

// Size in bytes of one item of a TWTY_ type (0 for types not listed above).
size_t ItemSize(TW_UINT16 itemType);

// Allocates a zeroed container of `bytes`; nullptr when memory runs out.
TW_HANDLE AllocContainer(size_t bytes);
void FreeContainer(TW_HANDLE container);

// A one-value container holding `value` as `itemType`; nullptr when memory
// runs out.
TW_HANDLE MakeOneValue(TW_UINT16 itemType, TW_UINT32 value);
// An enumeration of `count` items of `itemType` taken from `values`.
TW_HANDLE MakeEnumeration(TW_UINT16 itemType, const TW_UINT32* values, TW_UINT32 count, TW_UINT32 currentIndex,
                          TW_UINT32 defaultIndex);
// Item `index` of an enumeration, read by its item type (signed types are
// sign-extended into the 32 bits).
TW_UINT32 EnumerationItem(const TW_ENUMERATION& enumeration, TW_UINT32 index);
// Size in bytes of an enumeration of `count` items of `itemType`.
size_t EnumerationBytes(TW_UINT16 itemType, TW_UINT32 count);

// Copies `text` into a fixed-size TWAIN string, cut to fit and NUL-padded.
void CopyTwainString(char* target, size_t size, const char* text);
template <size_t N>
void CopyTwainString(char (&target)[N], const char* text) {
  CopyTwainString(target, N, text);
}

}  // namespace acquire
