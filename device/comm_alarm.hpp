// The communication alarm that Reset raises: active once no record has been
// published for kCommAlarmAge seconds, graded by the host's level map (level
// 0 or no entry: no call). smdhost's signal catalogue reads this table too.
#pragma once

#include <cstdint>

namespace pxr52 {

struct CommAlarm {
    const char* id;  // also the key
    const char* text1;
    const char* text2;
};

constexpr CommAlarm kCommAlarms[] = {
    {"120600180010", "设备智能口通信状态告警", "通信异常"},
};

constexpr std::int64_t kCommAlarmAge = 120;  // seconds without a publish

}  // namespace pxr52
