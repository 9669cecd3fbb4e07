#include "host/frame_tap.hpp"

namespace smdhost {

FrameTap::~FrameTap() = default;

}  // namespace smdhost
