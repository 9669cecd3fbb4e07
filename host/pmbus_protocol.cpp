#include "host/pmbus_protocol.hpp"

using smdhost::FrameDecoder;
using smdhost::HostEvent;

PMBusProtocol::PMBusProtocol() = default;
PMBusProtocol::~PMBusProtocol() = default;

int PMBusProtocol::InitSetting(const Json::Value& config) {
    (void)config;
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::host_init;
        e.result = host_init_result;
        emit(e);
    }
    return host_init_result;
}

int PMBusProtocol::process(unsigned char* data, unsigned int len) {
    if (data == nullptr || len == 0) return 0;
    // Made on first use: a device that never hears the line holds no buffer.
    if (!decoder_) decoder_ = std::make_unique<FrameDecoder>();
    decoder_->set_accept_lf(accept_lf_eoi);
    int frames = 0;
    for (unsigned int k = 0; k < len; ++k) {
        switch (decoder_->push(data[k])) {
            case FrameDecoder::Status::none:
                break;
            case FrameDecoder::Status::frame: {
                ++frames;
                const unsigned char* f = decoder_->frame();
                const bool ours = address_filter < 0 || f[1] == address_filter;
                if (ours) deliver_frame(f, static_cast<int>(decoder_->frame_size()));
                if (frame_tap != nullptr)
                    frame_tap->on_line_frame(*decoder_, FrameDecoder::Status::frame, k, ours);
                break;
            }
            case FrameDecoder::Status::fault:
                ++frames;
                deliver_error(smdhost::frame_fault_name(decoder_->fault()));
                if (frame_tap != nullptr)
                    frame_tap->on_line_frame(*decoder_, FrameDecoder::Status::fault, k, true);
                break;
        }
    }
    return frames;
}

int PMBusProtocol::process_error() { return 1; }

int PMBusProtocol::deliver_frame(const unsigned char* frame, int size) {
    // The device trusts the length word to describe bytes that exist; a
    // buffer shorter than its own length word is a bad frame.
    if (frame == nullptr || size < static_cast<int>(smdhost::kDecodedHeader))
        return deliver_error("length");
    const int info = (frame[5] << 8 | frame[4]) >> 1;
    if (info > size - static_cast<int>(smdhost::kDecodedHeader)) return deliver_error("length");
    // The device reads the frame only; the engine's buffer is not changed.
    payload = const_cast<unsigned char*>(frame);
    const int result = process_payload();
    payload = nullptr;
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::payload;
        e.cid1 = frame[2];
        e.cid2 = frame[3];
        e.len = info;
        e.result = result;
        emit(e);
    }
    return result;
}

int PMBusProtocol::deliver_error(const char* reason) {
    const int result = process_error();
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::frame_error;
        e.text1 = reason != nullptr ? reason : "";
        e.result = result;
        emit(e);
    }
    return result;
}

int PMBusProtocol::write_pmbus_cmd(unsigned char cid1, unsigned char cid2,
                                   const unsigned char* info, int info_len) {
    if (host_listener != nullptr) {
        HostEvent e;
        e.kind = HostEvent::Kind::send;
        e.cid1 = cid1;
        e.cid2 = cid2;
        if (info != nullptr && info_len > 0) e.bytes.assign(info, info + info_len);
        // The line writer (bench host, simulator link) frames it with these.
        e.code = protocol_ver;
        e.level = address;
        emit(e);
    }
    return 1;
}
