// FrameTap: sees every frame the protocol engine completes on the line, with
// the framing decoder's whole view of it (decoded bytes, raw characters, and
// for a bad frame what was wrong), after the device was handed it.
//
// What the bench host's line observer and its frame dissection (-v) listen
// to. The device never sees a tap; with none attached the engine does no
// extra work.
#pragma once

#include <cstddef>

#include "host/frame_codec.hpp"
#include "host/host_api.hpp"

namespace smdhost {

class SMD_HOST_API FrameTap {
public:
    virtual ~FrameTap();

    // `decoder` holds the frame that byte `index` of the current process()
    // call ended: Status::frame (frame(), frame_size(), text()) or
    // Status::fault (fault_detail(), text()); valid during the call only.
    // Called after process_payload / process_error returned, so every event
    // the device raised for the frame comes first. `delivered` is false for
    // a good frame of another address that the address filter dropped.
    virtual void on_line_frame(const FrameDecoder& decoder, FrameDecoder::Status status,
                               std::size_t index, bool delivered) = 0;
};

}  // namespace smdhost
