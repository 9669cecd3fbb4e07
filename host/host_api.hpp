// Symbol visibility of the host framework layer.
//
// The plug-in is compiled with hidden visibility; the host classes it derives
// from and calls must stay visible so that their symbols resolve from the
// loading process instead of being bound inside the plug-in.
#pragma once

#define SMD_HOST_API __attribute__((visibility("default")))
