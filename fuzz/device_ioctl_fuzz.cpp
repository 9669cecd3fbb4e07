// Control requests from the supervision centre: any code, any input bytes,
// any output size, on every device class and model key.
//
// Input:  kind | model key | code choice [| code i32] | out size (signed) |
//         input length choice | input bytes...
//
// Properties: the output word is written only into an output of at least
// 4 bytes, with the output length then 4; the commands sent carry the
// documented information lengths (7 for the clock, 3 or 5 for a parameter,
// 2 for a rectifier command) and at most one is sent per request.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/fuzz_devices.hpp"

namespace {

class SendLog : public smdhost::HostListener {
public:
    int sends = 0;
    unsigned char cid1 = 0;
    unsigned char cid2 = 0;
    std::size_t info_len = 0;

    void on_event(const smdhost::HostEvent& e) override {
        if (e.kind != smdhost::HostEvent::Kind::send) return;
        ++sends;
        cid1 = e.cid1;
        cid2 = e.cid2;
        info_len = e.bytes.size();
    }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::init_process();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::Input in(data, size);
    auto dev = fuzzing::make_device(static_cast<fuzzing::DeviceKind>(in.u8() % 3));
    static const char* const kTypes[] = {nullptr, "pxr52_419", "r318e_419", "r905q_419",
                                         "gwe37t_419", "", "hulm27_k300v20_419"};
    if (const char* type = in.pick(kTypes)) dev->device_type = type;
    SendLog sends;
    dev->host_listener = &sends;

    static const int kCodes[] = {300, 310, 320, 0, -1};
    int code = in.pick(kCodes);
    if (code == -1) code = in.i32();
    const int out_size = static_cast<std::int8_t>(in.u8());
    const std::uint8_t len_choice = in.u8();
    fuzzing::Bytes input = in.rest();
    // Usually the whole buffer; sometimes a length that is shorter, zero or
    // negative (the buffer then holds at least what the length claims).
    int in_len = static_cast<int>(input.size());
    if (len_choice % 4 == 1) in_len = len_choice / 4 < in_len ? len_choice / 4 : in_len;
    if (len_choice % 4 == 2) in_len = -static_cast<int>(len_choice / 4);
    input.resize(in_len > 0 ? static_cast<std::size_t>(in_len) : 0);
    const void* in_ptr = (len_choice % 4 == 3) ? nullptr : input.data();
    if (in_ptr == nullptr) in_len = static_cast<int>(input.size());  // a null input with a length

    // Exactly out_size bytes with a canary behind, so a write past the end
    // is caught even where ASan would not look.
    const std::size_t room = out_size > 0 ? static_cast<std::size_t>(out_size) : 0;
    fuzzing::Bytes out(room + 4, 0xA5);
    void* out_ptr = room > 0 ? out.data() : nullptr;
    int out_len = -7;
    (void)dev->DeviceIoControl(code, in_ptr, in_len, out_ptr, out_size, out_len);

    for (std::size_t k = room; k < out.size(); ++k)
        fuzzing::check(out[k] == 0xA5, "nothing written past the output");
    if (out_len == 4) fuzzing::check(out_size >= 4, "output word only where it fits");
    fuzzing::check(out_len == 4 || out_len == 0 || out_len == -7, "output length 0 or 4");
    fuzzing::check(sends.sends <= 1, "at most one command per request");
    if (sends.sends == 1) {
        if (code == 300)
            fuzzing::check(sends.cid1 == 0x41 && sends.cid2 == 0x4E && sends.info_len == 7,
                           "clock command carries 7 bytes");
        else if (code == 310)
            fuzzing::check(sends.cid1 == 0x42 &&
                               ((sends.cid2 == 0x49 && sends.info_len == 3) ||
                                (sends.cid2 == 0x48 && sends.info_len == 5)),
                           "parameter command carries 3 or 5 bytes");
        else if (code == 320)
            fuzzing::check(sends.cid1 == 0x41 && sends.cid2 == 0x45 && sends.info_len == 2,
                           "rectifier command carries 2 bytes");
        else
            fuzzing::fail("a query sends nothing");
    }
    return 0;
}
