// The Prometheus text writer: exact output for the features a monitor uses,
// and refusal of what the format or its conventions forbid.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "tools/smdhost/outputs/prometheus/exposition.hpp"

using smdmetrics::ExpositionError;
using smdmetrics::MetricFamily;
using smdmetrics::MetricType;
using smdmetrics::render_exposition;

TEST(Exposition, RendersFamiliesWithEscapedLabelsAndSpecialValues) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<MetricFamily> families = {
        {"pxr52_dc_voltage_volts", "DC bus voltage.\nLine two \\ backslash", MetricType::gauge,
         {{{{"screen", "1"}}, 53.5}, {{{"screen", "2"}}, std::nan("")}}},
        {"pxr52_frames_bad_total", "Bad frames by reason.", MetricType::counter,
         {{{{"reason", "checksum"}}, 12}, {{{"reason", "too_long"}}, 0}}},
        {"pxr52_alarm_active", "Active alarms.", MetricType::gauge,
         {{{{"id", "a\"b\\c\nd"}, {"text", "\xE4\xB8\xAD\xFF"}}, 1}}},
        {"pxr52_limits", "Limits.", MetricType::gauge, {{{}, inf}, {{{"k", "low"}}, -inf}, {{{"k", "tiny"}}, 1e-7}}},
        {"pxr52_empty", "Declared, no sample.", MetricType::gauge, {}},
    };
    EXPECT_EQ(render_exposition(families),
              "# HELP pxr52_dc_voltage_volts DC bus voltage.\\nLine two \\\\ backslash\n"
              "# TYPE pxr52_dc_voltage_volts gauge\n"
              "pxr52_dc_voltage_volts{screen=\"1\"} 53.5\n"
              "pxr52_dc_voltage_volts{screen=\"2\"} NaN\n"
              "# HELP pxr52_frames_bad_total Bad frames by reason.\n"
              "# TYPE pxr52_frames_bad_total counter\n"
              "pxr52_frames_bad_total{reason=\"checksum\"} 12\n"
              "pxr52_frames_bad_total{reason=\"too_long\"} 0\n"
              "# HELP pxr52_alarm_active Active alarms.\n"
              "# TYPE pxr52_alarm_active gauge\n"
              "pxr52_alarm_active{id=\"a\\\"b\\\\c\\nd\",text=\"\xE4\xB8\xAD\xEF\xBF\xBD\"} 1\n"
              "# HELP pxr52_limits Limits.\n"
              "# TYPE pxr52_limits gauge\n"
              "pxr52_limits +Inf\n"
              "pxr52_limits{k=\"low\"} -Inf\n"
              "pxr52_limits{k=\"tiny\"} 1e-07\n"
              "# HELP pxr52_empty Declared, no sample.\n"
              "# TYPE pxr52_empty gauge\n");
}

TEST(Exposition, RefusesWhatTheFormatForbidsAndNamesIt) {
    struct Case {
        const char* what;
        std::vector<MetricFamily> families;
        const char* message_part;
    };
    const std::vector<Case> cases = {
        {"metric name with a dot", {{"pxr52.dc", "", MetricType::gauge, {}}}, "invalid metric name"},
        {"metric name starting with a digit", {{"1pxr52", "", MetricType::gauge, {}}}, "invalid metric name"},
        {"colon left to recording rules", {{"pxr52:dc", "", MetricType::gauge, {}}}, "invalid metric name"},
        {"empty metric name", {{"", "", MetricType::gauge, {}}}, "invalid metric name"},
        {"reserved label name", {{"m", "", MetricType::gauge, {{{{"__name__", "x"}}, 1}}}}, "invalid label name"},
        {"label name with a dash", {{"m", "", MetricType::gauge, {{{{"a-b", "x"}}, 1}}}}, "invalid label name"},
        {"label given twice", {{"m", "", MetricType::gauge, {{{{"a", "1"}, {"a", "2"}}, 1}}}}, "given twice"},
        {"same series twice, labels reordered",
         {{"m", "", MetricType::gauge, {{{{"a", "1"}, {"b", "2"}}, 1}, {{{"b", "2"}, {"a", "1"}}, 2}}}},
         "two samples"},
        {"counter without _total", {{"pxr52_cycles", "", MetricType::counter, {}}}, "_total"},
        {"negative counter", {{"c_total", "", MetricType::counter, {{{}, -1}}}}, "below zero"},
        {"family declared twice",
         {{"m", "", MetricType::gauge, {}}, {"m", "", MetricType::gauge, {}}}, "declared twice"},
    };
    for (const Case& c : cases) {
        try {
            render_exposition(c.families);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const ExpositionError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message_part), std::string::npos) << c.what << ": " << e.what();
        }
    }
}
