// ObserverTap: hands the protocol engine's frames to a LineObserver (and,
// with -v, to the frame dissection), with the host clock and where on the
// input each frame was.
//
// Attach it as PMBusProtocol::frame_tap. Before each process() call say
// where its bytes come from: at_line() for a scenario directive, at_offset()
// for a raw stream or a live line (the offset of the call's first byte).
#pragma once

#include <functional>
#include <string>

#include "host/frame_tap.hpp"
#include "tools/smdhost/observer/line_observer.hpp"

namespace smdobserver {

class ObserverTap : public smdhost::FrameTap {
public:
    using Clock = double (*)();
    using Lines = std::function<void(const std::string&)>;

    // `clock`: the host clock (smdhost::sim_clock::now in the bench host).
    ObserverTap(LineObserver& observer, Clock clock) : observer_(observer), clock_(clock) {}

    // Frames ended by the next process() call come from line `line` of
    // scenario `file`.
    void at_line(const std::string& file, int line);
    // ... from a stream whose byte `offset` is the call's first byte.
    void at_offset(unsigned long long offset);
    // -v: every frame dissected (frame_dissection.hpp) goes to `out`.
    void set_dissection(Lines out) { dissection_ = std::move(out); }
    // Which frames are dissected: by default every one. Several devices on
    // one line each dissect their own good frames (`others` false), and one
    // of them the bad ones (`bad`), so that each frame is shown once.
    void set_dissection_scope(bool others, bool bad) {
        dissect_others_ = others;
        dissect_bad_ = bad;
    }

    void on_line_frame(const smdhost::FrameDecoder& decoder, smdhost::FrameDecoder::Status status,
                       std::size_t index, bool delivered) override;

private:
    LineObserver& observer_;
    Clock clock_;
    Lines dissection_;
    bool dissect_others_ = true;
    bool dissect_bad_ = true;
    bool stream_ = false;
    unsigned long long base_ = 0;
    LinePosition pos_;
};

}  // namespace smdobserver
