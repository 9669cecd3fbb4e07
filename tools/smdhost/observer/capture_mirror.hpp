// CaptureMirror: what the capture round makes of the frames it is handed,
// followed from the line alone (the plug-in is never asked), so the observer
// can tell which reply the plug-in took, refused or ignored.
//
// Mirrors the round's state: open or not, the command it awaits, the round
// bits of the replies it accepted, and the rectifier count of its accepted
// 41/42 reply (the 41/43 and 41/44 replies may list no more).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace smdobserver {

class CaptureMirror {
public:
    struct Take {
        enum class What : std::uint8_t {
            command,   // a command frame (or a response with a non-zero return code)
            ignored,   // a response outside a round, or of another group than awaited
            accepted,  // decoded: `code` (its bit set, if it has one)
            refused,   // its layout does not fit the reply to `code`; `why` says how
        };
        What what = What::ignored;
        int code = 0;          // the awaited command the response was taken for
        std::string why;
        bool completes = false;  // accepted 42/44 with every bit set: the round publishes
    };

    // A good frame handed to the device. `info`/`len`: its information bytes.
    Take frame(unsigned char cid1, unsigned char cid2_or_rtn, const unsigned char* info,
               std::size_t len);
    // A bad frame (or any process_error): the awaited command is forgotten.
    void error() { cmd_ = 0; }

    bool round_open() const { return active_; }
    std::uint16_t mask() const { return mask_; }
    int awaited() const { return cmd_; }

private:
    bool active_ = false;
    std::uint16_t mask_ = 0;
    int cmd_ = 0;
    unsigned rectifiers_ = 0;
};

}  // namespace smdobserver
