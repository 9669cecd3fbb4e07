#include "tools/smdhost/observer/observer_tap.hpp"

#include "tools/smdhost/observer/frame_dissection.hpp"

namespace smdobserver {

using smdhost::FrameDecoder;

void ObserverTap::at_line(const std::string& file, int line) {
    stream_ = false;
    if (pos_.file != file) pos_.file = file;
    pos_.line = line;
}

void ObserverTap::at_offset(unsigned long long offset) {
    stream_ = true;
    pos_.file.clear();
    pos_.line = 0;
    base_ = offset;
}

void ObserverTap::on_line_frame(const FrameDecoder& d, FrameDecoder::Status status,
                                std::size_t index, bool delivered) {
    const double t = clock_();
    const bool bad = status == FrameDecoder::Status::fault;
    if (stream_) {
        // The frame's SOI: before its characters and the byte that ended it
        // (EOI or the next SOI); a too_long frame ends on its last character.
        const unsigned long long end = base_ + index;
        const std::size_t chars = bad ? d.fault_detail().chars : d.text_size();
        const unsigned long long back =
            chars + (bad && d.fault() == smdhost::FrameFault::too_long ? 0 : 1);
        pos_.offset = end >= back ? end - back : 0;
    }
    if (bad) {
        observer_.bad_frame(t, pos_, d.fault_detail());
        if (dissection_ && dissect_bad_) dissection_(dissect_bad_frame(t, pos_, d.fault_detail(), d.text(), d.text_size()));
        return;
    }
    if (dissection_ && (delivered || dissect_others_))
        dissection_(dissect_frame(t, pos_, d.frame(), d.frame_size()));
    if (delivered)
        observer_.frame(t, pos_, d.frame(), d.frame_size());
    else
        observer_.other_address();
}

}  // namespace smdobserver
