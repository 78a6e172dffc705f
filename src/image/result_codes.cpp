#include "image/result_codes.h"

#include "platform/messages.h"

std::string FormatErrorCode(int code) {
  switch (code) {
    case kResultOutOfMemory:
    case kResultNoBuffer: return "Not enough memory available !";
    case kResultInvalidBitmap: return "Invalid bitmap handle !";
    case kResultSeekError: return "Error seeking to position !";
    case kResultWriteError: return "Error writing file !";
    case kResultFileNotPresent: return "File not present !";
    case kResultReadError: return "Error reading file !";
    case kResultInvalidFileName: return "Invalid filename specified !";
    case kResultInvalidFormat: return "Invalid file format!";
    case kResultFileNotFound: return "File not found!";
    case kResultInvalidSize: return "Invalid width/height!";
    case kResultUnsupportedSubtype: return "Image format recognized, but sub-type not supported!";
    case kResultInvalidParameter: return "Invalid parmameter!";
    case kResultCannotOpen: return "Not able to open file!";
    case kResultUnknownCompression: return "Unknown compression format!";
    case kResultNotSupported: return "Feature not supported!";
    case kResultDisplay256Only: return "VGA card only supports 256 colors (8 bit)!";
    case kResultPrinterError: return "Printer error!";
    case kResultCrcError: return "Data CRC check error!";
    case kResultInvalidQFactor: return "Invalid QFactor specified!";
    case kResultTargaNotInstalled: return "TARGA not installed!";
    case kResultInvalidCompression: return "Invalid compression format!";
    case kResultInvalidXOrigin: return "X origin specified invalid!";
    case kResultInvalidYOrigin: return "Y origin specified invalid!";
    case kResultInvalidVideoMode: return "Invalid video mode!";
    case kResultInvalidBitsPerPixel: return "Invalid bits/pixel!";
    case kResultInvalidWindowSize: return "Invalid window size!";
    case kResultCancelled: return "User canceled the process!";
    case kResultStampNotFound: return "Stamp not found!";
    case kResultFaxInvalidData: return "Invalid group 3 data!";
    case kResultFaxEndOfCode:
    case kResultFaxEndOfCodeAtRow: return "Group3 code end of code!";
    case kResultFaxEarlyEnd: return "Premature EOF at scanline!";
    case kResultFaxEarlyEndOfLine:
    case -75:
    case -76:
    case -77: return "Premature end-of-line code!";
    case kResultTwainBadVersion: return "Bad version number!";
    case kResultTwainNoManager: return "Source manager not found!";
    case kResultTwainFailure: return "Failure due to unknown causes!";
    case kResultTwainLowMemory: return "Not enough memory to perform operation!";
    case kResultTwainNoSource: return "No Data Source!";
    case kResultTwainMaxConnections: return "DS is connected to max possible apps!";
    case kResultTwainOperationError: return "DS or DSM reported error, app shouldn't!";
    case kResultTwainBadCapability: return "Unknown capability!";
    case kResultTwainBadProtocol: return "Unrecognized MSG DG DAT combination!";
    case kResultTwainBadValue: return "Data parameter out of range!";
    case kResultTwainSequenceError: return "DG DAT MSG out of expected sequence!";
    case kResultTwainBadDestination: return "Unknown destination App/Src in DSM_Entry!";
    case kResultTwainCancelled: return "Operation was cancelled!";
    case kResultNoImageLeft: return "Nice job. but There's no Image remained !";
    case kResultNoEffect: return "Nice job. but There's no effect !";
    case kResultNoLzwLicense: return "We haven't LZW license ! ^-^; some day";
    default: return platform::FormatText("There is no effect! %d", code);
  }
}
