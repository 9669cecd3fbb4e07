#include "tools/smdhost/observer/reply_layout.hpp"

#include "tools/smdhost/observer/cycle_pairs.hpp"

namespace smdobserver {

namespace {

constexpr unsigned kAcChannels = 2;
constexpr unsigned kAcSwitches = 8;
constexpr unsigned kRectifiers = 40;

// Bounded cursor over the information bytes; a failed read moves nothing.
class Cursor {
public:
    Cursor(const unsigned char* p, std::size_t len) : p_(p), left_(len), len_(len) {}
    bool u8(unsigned& out) {
        if (left_ < 1) return false;
        out = *p_;
        advance(1);
        return true;
    }
    bool skip(std::size_t n) {
        if (n > left_) return false;
        advance(n);
        return true;
    }
    std::size_t left() const { return left_; }
    std::size_t length() const { return len_; }

private:
    void advance(std::size_t n) {
        p_ += n;
        left_ -= n;
    }
    const unsigned char* p_;
    std::size_t left_;
    std::size_t len_;
};

LayoutVerdict fits() {
    LayoutVerdict v;
    v.fits = true;
    return v;
}

LayoutVerdict refused(std::string why) {
    LayoutVerdict v;
    v.why = std::move(why);
    return v;
}

LayoutVerdict cut_short(const Cursor& c) {
    return refused("the reply ends inside its layout (" + std::to_string(c.length()) +
                   " information bytes)");
}

std::string count_text(const char* what, unsigned got, const char* limit) {
    return std::string(what) + " " + std::to_string(got) + ", " + limit;
}

// Data flag and the AC screen-count byte, which must be 1.
bool ac_head(Cursor& c, LayoutVerdict& bad) {
    unsigned flag = 0, screens = 0;
    if (!c.u8(flag) || !c.u8(screens)) {
        bad = cut_short(c);
        return false;
    }
    if (screens != 1) {
        bad = refused(count_text("screen count", screens, "1 expected"));
        return false;
    }
    return true;
}

LayoutVerdict ac_analog(Cursor c) {
    LayoutVerdict bad;
    unsigned channels = 0;
    if (!ac_head(c, bad)) return bad;
    if (!c.u8(channels)) return cut_short(c);
    if (channels > kAcChannels) return refused(count_text("channel count", channels, "at most 2"));
    for (unsigned i = 0; i < channels; ++i) {
        unsigned user = 0;
        if (!c.skip(8) || !c.u8(user) || !c.skip(2 * user)) return cut_short(c);
    }
    if (!c.skip(6)) return cut_short(c);
    return fits();
}

LayoutVerdict ac_switches(Cursor c) {
    LayoutVerdict bad;
    unsigned count = 0, user = 0;
    if (!ac_head(c, bad)) return bad;
    if (!c.u8(count)) return cut_short(c);
    if (count > kAcSwitches) return refused(count_text("switch count", count, "at most 8"));
    if (!c.skip(count) || !c.u8(user) || !c.skip(user)) return cut_short(c);
    return fits();
}

LayoutVerdict ac_alarms(Cursor c) {
    LayoutVerdict bad;
    unsigned channels = 0;
    if (!ac_head(c, bad)) return bad;
    if (!c.u8(channels)) return cut_short(c);
    if (channels > kAcChannels) return refused(count_text("channel count", channels, "at most 2"));
    for (unsigned i = 0; i < channels; ++i) {
        unsigned fuses = 0, user = 0;
        if (!c.skip(4) || !c.u8(fuses) || !c.skip(fuses) || !c.u8(user) || !c.skip(user))
            return cut_short(c);
    }
    if (!c.skip(3)) return cut_short(c);
    return fits();
}

LayoutVerdict rect_analog(Cursor c) {
    unsigned flag = 0, count = 0;
    if (!c.u8(flag) || !c.skip(2) || !c.u8(count)) return cut_short(c);
    if (count > kRectifiers) return refused(count_text("rectifier count", count, "at most 40"));
    for (unsigned i = 0; i < count; ++i) {
        unsigned user = 0;
        if (!c.skip(2) || !c.u8(user)) return cut_short(c);
        if (user != 0)
            return refused("rectifier " + std::to_string(i + 1) + " has user count " +
                           std::to_string(user) + ", 0 required");
    }
    if (c.left() != 0)
        return refused(std::to_string(c.left()) + " byte" + (c.left() == 1 ? "" : "s") +
                       " after the layout, none allowed");
    LayoutVerdict v = fits();
    v.rectifiers = static_cast<int>(count);
    return v;
}

// 41/43 (`per` = 3 state bytes) and 41/44 (`per` = 1 fault byte).
LayoutVerdict rect_states(Cursor c, unsigned per, unsigned round_rectifiers) {
    unsigned flag = 0, count = 0;
    if (!c.u8(flag) || !c.u8(count)) return cut_short(c);
    if (count > kRectifiers) return refused(count_text("rectifier count", count, "at most 40"));
    if (count > round_rectifiers)
        return refused(round_rectifiers == 0
                           ? "rectifier count " + std::to_string(count) +
                                 " with no 41/42 reply accepted before it"
                           : "rectifier count " + std::to_string(count) + " above the " +
                                 std::to_string(round_rectifiers) + " of the round's 41/42 reply");
    for (unsigned i = 0; i < count; ++i) {
        unsigned user = 0;
        if (!c.skip(per) || !c.u8(user) || !c.skip(user)) return cut_short(c);
    }
    return fits();
}

// 42/42 (`analog`: fixed-point values) and 42/44 (alarm bytes).
LayoutVerdict dc_reply(Cursor c, bool analog) {
    unsigned flag = 0, screens = 0;
    if (!c.u8(flag) || !c.u8(screens)) return cut_short(c);
    if (screens < 1 || screens > 2)
        return refused(count_text("DC screen count", screens, "1 or 2 expected"));
    for (unsigned s = 0; s < screens; ++s) {
        if (analog) {
            unsigned m = 0, n = 0, p = 0;
            if (!c.skip(4) || !c.u8(m) || !c.skip(2 * m) || !c.u8(n) || !c.skip(2 * n) ||
                !c.u8(p) || !c.skip(2 * p))
                return cut_short(c);
        } else {
            unsigned m = 0, p = 0;
            if (!c.skip(1) || !c.u8(m) || !c.skip(m) || !c.u8(p) || !c.skip(p)) return cut_short(c);
        }
    }
    return fits();
}

}  // namespace

LayoutVerdict check_reply(int code, const unsigned char* info, std::size_t len,
                          unsigned round_rectifiers) {
    const Cursor c(info, info != nullptr ? len : 0);
    switch (code) {
        case 1: return ac_analog(c);
        case 2: return ac_switches(c);
        case 3: return ac_alarms(c);
        case 5: return rect_analog(c);
        case 6: return rect_states(c, 3, round_rectifiers);
        case 7: return rect_states(c, 1, round_rectifiers);
        case 8: return dc_reply(c, true);
        case 9: return dc_reply(c, false);
        case kDcParameters:
            if (len < 13)
                return refused(std::to_string(len) + " information bytes, 13 needed");
            return fits();
        case 4:
        case 11:
        case 12:
            return fits();
        default:
            return refused("not a command the capture round knows");
    }
}

}  // namespace smdobserver
