#include "image/result_codes.h"

#include <gtest/gtest.h>

namespace {

// Codes that share a text, the ends of each block of the table, and codes
// between blocks that have no text of their own.
TEST(FormatErrorCode, TextsOfTheTable) {
  struct Case {
    int code;
    const char* text;
  };
  const Case cases[] = {
      {-1, "Not enough memory available !"},
      {-3, "Not enough memory available !"},
      {-13, "Invalid parmameter!"},
      {-18, "Printer error!"},
      {-29, "User canceled the process!"},
      {-71, "Group3 code end of code!"},
      {-72, "Group3 code end of code!"},
      {-74, "Premature end-of-line code!"},
      {-77, "Premature end-of-line code!"},
      {-81, "Not enough memory to perform operation!"},
      {-84, "DS or DSM reported error, app shouldn't!"},
      {-89, "Unknown destination App/Src in DSM_Entry!"},
      {-90, "Operation was cancelled!"},
      {-144, "Nice job. but There's no Image remained !"},
      {-145, "Nice job. but There's no effect !"},
      {-146, "We haven't LZW license ! ^-^; some day"},
      {-20, "There is no effect! -20"},
      {-66, "There is no effect! -66"},
      {-91, "There is no effect! -91"},
      {-143, "There is no effect! -143"},
      {0, "There is no effect! 0"},
      {7, "There is no effect! 7"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatErrorCode(c.code), c.text) << c.code;
}

}  // namespace
