// One line of words for an alarm the plug-in raised, from the two texts it
// passed with CheckThresholdBool. The rule sets fill them differently: the
// name and the state, or the reading (or the signal id) and then the name.
//
//   text1 "ua1:220.5" (ASCII), text2 a name  ->  "NAME [ua1:220.5]"
//   text1 the id or empty                    ->  text2
//   otherwise                                ->  "TEXT1 (TEXT2)", or TEXT1 alone
//                                                when text2 is empty or the same
#pragma once

#include <string>

namespace smdevents {

std::string alarm_text(const std::string& id, const std::string& text1, const std::string& text2);

}  // namespace smdevents
