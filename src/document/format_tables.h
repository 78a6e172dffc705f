// The format tables behind the Open and Save dialogs' file-type lists.
//
// The open table lists what the Open dialog offers (7 formats), the save
// table what Save As offers (6 formats), each with up to three extensions
// (without the dot) and its sub-types. A save format is offered for an image
// when the capability mask of its first sub-type holds the image kind's bit.
// The file-type lists only guide the dialogs: the codec is chosen by the file
// name's extension (format_dispatch.h), so ".gif" is read and written although
// neither list names it.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// Capability bits: the image kinds a format can store. Other bits in the
// tables (0x4, 0x8, 0x1000, 0x2000, 0x8000) are kept but never tested.
inline constexpr uint32_t FMT_1BIT = 0x1;
inline constexpr uint32_t FMT_PAL8 = 0x2;
inline constexpr uint32_t FMT_RGB24 = 0x10;
inline constexpr uint32_t FMT_CMYK32 = 0x20;
inline constexpr uint32_t FMT_GRAY8 = 0x200;

struct SubtypeRecord {
  uint32_t id = 0;
  std::string_view name;  // may be empty
  uint32_t capabilities = 0;
};

struct FormatRecord {
  uint32_t id = 0;
  std::string_view name;
  std::array<std::string_view, 3> extensions;  // without the dot; empty when absent
  std::span<const SubtypeRecord> subtypes;
};

std::span<const FormatRecord> OpenFormatTable();
std::span<const FormatRecord> SaveFormatTable();

// The capability bit of an image kind: 1 bit FMT_1BIT, 8 bits FMT_GRAY8 when
// gray else FMT_PAL8, 24 bits FMT_RGB24, 32 bits FMT_CMYK32, otherwise 0.
uint32_t CapabilityForKind(int bitCount, bool gray);

// "All Files|*.*|All Images|*.jpg;...;*.bmp|" followed by
// "NAME(*.a;*.b)|*.a;*.b|" for every open format, and a final "|".
std::string BuildOpenFilter();
// "NAME(*.a;*.b)|*.a;*.b|" for every save format that can store the image
// kind, and a final "|".
std::string BuildSaveFilter(int bitCount, bool gray);
// The extensions of the formats BuildSaveFilter lists, each right-aligned in
// 5 characters ("%5s", blanks for an absent one): 15 characters per format.
std::string BuildSaveExtList(int bitCount, bool gray);
// The first extension of the index-th (1-based) format of BuildSaveExtList.
// An index outside the list shows "Index is out of bounds" and gives "".
std::string GetSaveExtension(int bitCount, bool gray, int index);
// The 1-based position in BuildSaveExtList of the format with extension
// `extension` (compared as a whole, case-insensitively); 0 when none has it.
int FindSaveExtension(int bitCount, bool gray, std::string_view extension);

inline constexpr int kSaveExtListWidth = 15;  // characters per format in BuildSaveExtList
