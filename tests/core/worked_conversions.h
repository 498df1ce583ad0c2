// The known answers of the conversion, bytes in hexadecimal (09 TAB, 2D the
// hyphen, 0D 0A a line end): one table that the core, the window program
// and the command-line program are all held to.
#pragma once

namespace dashtab::testing {

struct WorkedConversion {
  const char* source;
  int selection;  // of the direction list: 0 dashes to TAB, 1 TAB to dashes
  const char* output;
};

inline constexpr WorkedConversion kWorkedConversions[] = {
    {"61 2D 2D 2D 2D 62", 0, "61 09 62"},
    {"61 09 62", 1, "61 2D 2D 2D 2D 62"},
    {"61 09 62", 0, "61 09 62"},
    {"61 2D 2D 2D 2D 62", 1, "61 2D 2D 2D 2D 62"},
    {"2D 2D 2D 2D 2D 0D 0A 2D 2D 2D 2D 2D 2D 2D 2D", 0, "09 2D 0D 0A 09 09"},
    {"09 2D 0D 0A 09 09", 1, "2D 2D 2D 2D 2D 0D 0A 2D 2D 2D 2D 2D 2D 2D 2D"},
    {"D6 D0 09 CE C4", 1, "D6 D0 2D 2D 2D 2D CE C4"},
    {"D6 D0 2D 2D 2D 2D CE C4", 0, "D6 D0 09 CE C4"},
    {"61 81 09 62", 1, "61 81 09 62"},                 // the TAB is the second byte of a character
    {"61 2D 2D 2D 2D 00 62 2D 2D 2D 2D", 0, "61 09"},  // nothing from the zero byte on
    {"FF FE 61 00 09 00", 1, "FF FE 61"},
    {"61 62 B0", 1, "61 62"},
    {"61 62 B0", 0, "61 62 B0"},
    {"", 0, ""},
    {"", 1, ""},
};

}  // namespace dashtab::testing
