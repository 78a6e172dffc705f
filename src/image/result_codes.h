// The library's result codes and their texts. Operations return kResultOk
// for success, kResultRefused for a refusal already reported (a message was
// shown), or one of the negative codes below. An editing command shows the
// text of a negative code at its end, except for kResultCancelled, which is
// silent.
#pragma once

#include <string>

inline constexpr int kResultOk = 1;
inline constexpr int kResultRefused = 0;

inline constexpr int kResultOutOfMemory = -1;          // "Not enough memory available !"
inline constexpr int kResultInvalidBitmap = -2;        // "Invalid bitmap handle !"
inline constexpr int kResultNoBuffer = -3;             // "Not enough memory available !"
inline constexpr int kResultSeekError = -4;            // "Error seeking to position !"
inline constexpr int kResultWriteError = -5;           // "Error writing file !"
inline constexpr int kResultFileNotPresent = -6;       // "File not present !"
inline constexpr int kResultReadError = -7;            // "Error reading file !"
inline constexpr int kResultInvalidFileName = -8;      // "Invalid filename specified !"
inline constexpr int kResultInvalidFormat = -9;        // "Invalid file format!"
inline constexpr int kResultFileNotFound = -10;        // "File not found!"
inline constexpr int kResultInvalidSize = -11;         // "Invalid width/height!"
inline constexpr int kResultUnsupportedSubtype = -12;  // "Image format recognized, but sub-type not supported!"
inline constexpr int kResultInvalidParameter = -13;    // "Invalid parmameter!"
inline constexpr int kResultCannotOpen = -14;          // "Not able to open file!"
inline constexpr int kResultUnknownCompression = -15;  // "Unknown compression format!"
inline constexpr int kResultNotSupported = -16;        // "Feature not supported!"
inline constexpr int kResultDisplay256Only = -17;      // "VGA card only supports 256 colors (8 bit)!"
inline constexpr int kResultPrinterError = -18;        // "Printer error!"
inline constexpr int kResultCrcError = -19;            // "Data CRC check error!"
inline constexpr int kResultInvalidQFactor = -21;      // "Invalid QFactor specified!"
inline constexpr int kResultTargaNotInstalled = -22;   // "TARGA not installed!"
inline constexpr int kResultInvalidCompression = -23;  // "Invalid compression format!"
inline constexpr int kResultInvalidXOrigin = -24;      // "X origin specified invalid!"
inline constexpr int kResultInvalidYOrigin = -25;      // "Y origin specified invalid!"
inline constexpr int kResultInvalidVideoMode = -26;    // "Invalid video mode!"
inline constexpr int kResultInvalidBitsPerPixel = -27; // "Invalid bits/pixel!"
inline constexpr int kResultInvalidWindowSize = -28;   // "Invalid window size!"
inline constexpr int kResultCancelled = -29;           // "User canceled the process!" (shown by no one)
inline constexpr int kResultStampNotFound = -65;       // "Stamp not found!"
// Fax (CCITT group 3) decoding.
inline constexpr int kResultFaxInvalidData = -70;      // "Invalid group 3 data!"
inline constexpr int kResultFaxEndOfCode = -71;        // "Group3 code end of code!"
inline constexpr int kResultFaxEndOfCodeAtRow = -72;   // "Group3 code end of code!"
inline constexpr int kResultFaxEarlyEnd = -73;         // "Premature EOF at scanline!"
inline constexpr int kResultFaxEarlyEndOfLine = -74;   // "Premature end-of-line code!", also -75 to -77
// Scanner acquisition (the TWAIN condition codes).
inline constexpr int kResultTwainBadVersion = -78;      // "Bad version number!"
inline constexpr int kResultTwainNoManager = -79;       // "Source manager not found!"
inline constexpr int kResultTwainFailure = -80;         // "Failure due to unknown causes!"
inline constexpr int kResultTwainLowMemory = -81;       // "Not enough memory to perform operation!"
inline constexpr int kResultTwainNoSource = -82;        // "No Data Source!"
inline constexpr int kResultTwainMaxConnections = -83;  // "DS is connected to max possible apps!"
inline constexpr int kResultTwainOperationError = -84;  // "DS or DSM reported error, app shouldn't!"
inline constexpr int kResultTwainBadCapability = -85;   // "Unknown capability!"
inline constexpr int kResultTwainBadProtocol = -86;     // "Unrecognized MSG DG DAT combination!"
inline constexpr int kResultTwainBadValue = -87;        // "Data parameter out of range!"
inline constexpr int kResultTwainSequenceError = -88;   // "DG DAT MSG out of expected sequence!"
inline constexpr int kResultTwainBadDestination = -89;  // "Unknown destination App/Src in DSM_Entry!"
inline constexpr int kResultTwainCancelled = -90;       // "Operation was cancelled!"
// Editing commands that left nothing to show.
inline constexpr int kResultNoImageLeft = -144;        // "Nice job. but There's no Image remained !"
inline constexpr int kResultNoEffect = -145;           // "Nice job. but There's no effect !"
inline constexpr int kResultNoLzwLicense = -146;       // "We haven't LZW license ! ^-^; some day"

// The message text of a negative result code (the comments above); codes
// without a text of their own give "There is no effect! %d".
std::string FormatErrorCode(int code);
