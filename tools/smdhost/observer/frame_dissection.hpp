// -v: every frame dissected, one line of fields and, when there is more to
// show, further lines (the information bytes, or a bad frame's characters):
//
//   00:00:00.041  demo.scn:5  frame  ADR 01  CID1 40  RTN 00  LENID 024  18 info bytes
//     info 11 01 01 56 C7 55 DF 56 54 13 87 00 01 13 01 12 01 15
//   00:00:01.020  demo.scn:29  bad frame
//     hex: 'G' (0x47) at position 4 is not a hex digit
//     chars ~200G4200A042000114E60BF5...
//   00:00:02.311  demo.scn:47  bad frame  ADR 01  CID1 42  CID2 44  LENID 002
//     checksum: expected FD3B, received FD3C
//     chars ~20014244...
//
// A bad frame's header fields are shown when they could be read.
//
// CID2 for a command, RTN for a response (fourth byte 0 or below 0x40). The
// lines carry no line end.
#pragma once

#include <cstddef>
#include <string>

#include "host/frame_codec.hpp"
#include "tools/smdhost/observer/line_report.hpp"

namespace smdobserver {

// Characters of a bad frame shown at most; longer ones end in "...".
constexpr std::size_t kShownChars = 120;
// Lines stay within 80 columns: information bytes and a bad frame's
// characters go on in further lines of this many.
constexpr std::size_t kBytesPerLine = 24;
constexpr std::size_t kCharsPerLine = 64;

// A good decoded frame (VER ADR CID1 CID2/RTN LENID(LE) INFO...).
std::string dissect_frame(double t, const LinePosition& at, const unsigned char* decoded,
                          std::size_t size);
// A bad frame: what was wrong, the header fields it carried when they were
// readable, and its characters (`text`/`len`: after SOI, as the decoder
// kept them).
std::string dissect_bad_frame(double t, const LinePosition& at,
                              const smdhost::FrameFaultDetail& detail, const char* text,
                              std::size_t len);

}  // namespace smdobserver
