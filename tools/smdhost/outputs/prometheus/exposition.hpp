// The Prometheus text exposition format (version 0.0.4), written from plain
// data: metric families of gauges or counters, each with its samples.
//
//   # HELP pxr52_dc_voltage_volts DC bus voltage.
//   # TYPE pxr52_dc_voltage_volts gauge
//   pxr52_dc_voltage_volts{screen="1"} 53.5
//
// Names follow the exporter conventions: metric names [a-zA-Z_][a-zA-Z0-9_]*
// (colons are left to recording rules), label names the same without a
// leading "__", counters named ..._total. Label values and help texts may
// hold anything: they are escaped, and bytes that are not UTF-8 become
// U+FFFD, so whatever came from the line renders as a valid exposition.
#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace smdmetrics {

// The Content-Type of a /metrics response in this format.
extern const char* const kExpositionContentType;

enum class MetricType { gauge, counter };

struct Sample {
    std::vector<std::pair<std::string, std::string>> labels;  // name, value; written in this order
    double value = 0.0;
};

struct MetricFamily {
    std::string name;
    std::string help;
    MetricType type = MetricType::gauge;
    std::vector<Sample> samples;  // may be empty: the family is still declared
};

// A family, label or value that breaks the rules above; what() names the
// family, the label and the value.
class ExpositionError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

bool is_valid_metric_name(const std::string& name);
bool is_valid_label_name(const std::string& name);

// The exposition of `families`, in the order given; samples in their order.
// Throws ExpositionError (and writes nothing) for an invalid name, a family
// named twice, a label named twice in one sample, two samples of a family
// with the same labels, or a counter below zero.
std::string render_exposition(const std::vector<MetricFamily>& families);

// A value as the format writes it: "NaN", "+Inf", "-Inf", otherwise the
// shortest decimal form that reads back as the same double.
std::string format_value(double value);

// A label value or a help text escaped for the format.
std::string escape_label_value(const std::string& value);
std::string escape_help(const std::string& help);

}  // namespace smdmetrics
