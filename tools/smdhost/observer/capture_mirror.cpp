#include "tools/smdhost/observer/capture_mirror.hpp"

#include "tools/smdhost/observer/cycle_pairs.hpp"
#include "tools/smdhost/observer/reply_layout.hpp"

namespace smdobserver {

namespace {
constexpr std::uint16_t kAllBits = 0xFF;
}

CaptureMirror::Take CaptureMirror::frame(unsigned char cid1, unsigned char cid2_or_rtn,
                                         const unsigned char* info, std::size_t len) {
    Take t;
    if (taken_as_command(cid2_or_rtn)) {
        t.what = Take::What::command;
        cmd_ = command_code(cid1, cid2_or_rtn);
        if (cmd_ == 1) {
            active_ = true;
            mask_ = 0;
            rectifiers_ = 0;
        }
        if (!active_) cmd_ = 0;
        return t;
    }
    if (!active_ || response_group(cmd_) != cid1 || cmd_ == kUnknownCommand) return t;
    t.code = cmd_;
    LayoutVerdict v = check_reply(cmd_, info, len, rectifiers_);
    if (!v.fits) {
        // The command stays awaited: a later response of its group is
        // taken for it again.
        t.what = Take::What::refused;
        t.why = std::move(v.why);
        return t;
    }
    t.what = Take::What::accepted;
    const int pair = pair_of_code(cmd_);
    if (pair == kPairRectAnalog) rectifiers_ = static_cast<unsigned>(v.rectifiers);
    mask_ = static_cast<std::uint16_t>(mask_ | pair_bit(pair));
    cmd_ = 0;
    if (pair == kPairDcAlarm) {
        t.completes = mask_ == kAllBits;
        active_ = false;
    }
    return t;
}

}  // namespace smdobserver
