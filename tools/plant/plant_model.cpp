#include "tools/plant/plant_model.hpp"

#include <algorithm>
#include <cmath>

namespace plant {

// ---------------------------------------------------------------- generator

std::uint64_t Rng::next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
}

double Rng::uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

double Rng::uniform(double lo, double hi) { return lo + (hi - lo) * uniform(); }

int Rng::below(int n) {
    if (n <= 0) return 0;
    return static_cast<int>(next() % static_cast<std::uint64_t>(n));
}

int Rng::between(int lo, int hi) { return hi <= lo ? lo : lo + below(hi - lo + 1); }

bool Rng::chance(double p) { return uniform() < p; }

double Rng::normal() {
    // Irwin-Hall: twelve uniforms, plain arithmetic, so the same everywhere.
    double sum = 0.0;
    for (int k = 0; k < 12; ++k) sum += uniform();
    return sum - 6.0;
}

// ---------------------------------------------------------------- shape

PlantShape PlantShape::typical(int rectifiers, int screens) {
    PlantShape s;
    s.rectifiers = rectifiers;
    s.screens = screens;
    return s;
}

PlantShape PlantShape::varied(int rectifiers, int screens, std::uint64_t seed) {
    Rng r(seed ^ 0x5A17E5EEDULL);
    PlantShape s;
    s.rectifiers = rectifiers;
    s.screens = screens;
    s.ac_inputs = r.between(1, 2);
    s.ac_switches = r.between(0, 8);
    s.ac_user_switches = r.between(0, 3);
    s.ac_user_values = r.between(0, 2);
    s.ac_fuses = r.between(0, 3);
    s.ac_user_alarms = r.between(0, 8);
    s.rect_user_switches = r.between(0, 2);
    s.rect_user_alarms = r.between(0, 9);
    s.batteries = r.between(1, 3);
    s.branches = r.between(0, 22);
    s.dc_user_values = r.between(0, 10);
    s.dc_extra_fuses = r.chance(0.4) ? r.between(0, 25) : 0;
    s.dc_user_alarms = r.between(0, 7);
    return s;
}

std::string PlantShape::problem() const {
    struct Bound {
        const char* name;
        int value;
        int lo;
        int hi;
    };
    const Bound bounds[] = {
        {"AC inputs", ac_inputs, 1, 2},
        {"AC switches", ac_switches, 0, 8},
        {"AC user switches", ac_user_switches, 0, 255},
        {"AC user values", ac_user_values, 0, 255},
        {"AC fuses", ac_fuses, 0, 255},
        {"AC user alarms", ac_user_alarms, 0, 255},
        {"rectifiers", rectifiers, 0, 40},
        {"rectifier user switches", rect_user_switches, 0, 255},
        {"rectifier user alarms", rect_user_alarms, 0, 255},
        {"DC screens", screens, 1, 2},
        {"battery groups", batteries, 0, 255},
        {"branches", branches, 0, 255},
        {"DC user values", dc_user_values, 0, 255},
        {"DC extra fuses", dc_extra_fuses, 0, 255},
        {"DC user alarms", dc_user_alarms, 0, 255},
        {"DC fuse bytes", dc_fuses(), 0, 255},
    };
    for (const auto& b : bounds)
        if (b.value < b.lo || b.value > b.hi)
            return std::string(b.name) + " must be " + std::to_string(b.lo) + ".." +
                   std::to_string(b.hi) + ", not " + std::to_string(b.value);
    return {};
}

const char* event_name(EventKind kind) {
    switch (kind) {
    case EventKind::mains_failure: return "mains";
    case EventKind::rectifier_fault: return "rectifier";
    case EventKind::blown_fuse: return "fuse";
    case EventKind::invalid_reading: return "invalid";
    }
    return "?";
}

// ---------------------------------------------------------------- plant

namespace {

// Limits of the plant's own alarm bytes.
constexpr double kAcLow = 187.0;       // V
constexpr double kAcHigh = 264.0;      // V
constexpr double kFreqLow = 47.5;      // Hz
constexpr double kFreqHigh = 52.5;     // Hz
constexpr double kAcCurrentHigh = 100.0;  // A
constexpr double kDcLow = 47.0;        // V
constexpr double kDcHigh = 58.0;       // V
constexpr double kFirstDisconnect = 46.0;   // V, first load disconnect alarm
constexpr double kSecondDisconnect = 44.5;  // V
constexpr double kModuleLimit = 50.0;  // A per rectifier module
constexpr double kBatteryAh = 100.0;   // per screen
constexpr double kEfficiency = 0.93;

// Alarm byte codes.
constexpr unsigned char kBelowLimit = 0x01;
constexpr unsigned char kAboveLimit = 0x02;
constexpr unsigned char kFuseBlown = 0x03;

// Mean time between plant-started events, s (times the inverse event rate).
constexpr double kMainsEvery = 900.0;
constexpr double kRectFaultEvery = 900.0;
constexpr double kFuseEvery = 1200.0;
constexpr double kInvalidEvery = 60.0;

unsigned char limit_byte(double v, double lo, double hi) {
    if (v < lo) return kBelowLimit;
    if (v > hi) return kAboveLimit;
    return 0;
}

double round_to(double v, double step) { return std::round(v / step) * step; }

}  // namespace

Plant::Plant(const PlantShape& shape, std::uint64_t seed) : shape_(shape), rng_(seed) {
    const int inputs = std::max(0, shape_.ac_inputs);
    const int rects = std::max(0, shape_.rectifiers);
    const int screens = std::max(0, shape_.screens);
    ac_v_.assign(inputs, std::vector<double>(3, 220.0));
    freq_.assign(inputs, 50.0);
    for (int i = 0; i < inputs; ++i) {
        for (auto& v : ac_v_[i]) v = 220.0 + rng_.uniform(-3.0, 3.0);
        freq_[i] = 50.0 + rng_.uniform(-0.05, 0.05);
    }
    for (double& s : phase_share_) s = rng_.uniform(0.97, 1.03);
    rect_weight_.resize(rects);
    for (auto& w : rect_weight_) w = rng_.uniform(0.95, 1.05);
    rect_fault_left_.assign(rects, 0.0);
    for (int s = 0; s < screens; ++s) {
        load_base_.push_back(s == 0 ? rng_.uniform(25.0, 45.0) : rng_.uniform(10.0, 25.0));
        std::vector<double> weights(std::max(0, shape_.branches));
        double sum = 0.0;
        for (auto& w : weights) sum += (w = rng_.uniform(0.3, 1.0));
        for (auto& w : weights) w /= sum;
        branch_weight_.push_back(weights);
        fuse_blown_.emplace_back(std::max(0, shape_.dc_fuses()), false);
    }
    load_ = load_base_;
    soc_.assign(screens, 1.0);
    dc_v_.assign(screens, state_.float_v);

    state_.ac.resize(inputs);
    state_.rect.resize(rects);
    state_.dc.resize(screens);
    recompute();  // both unread flags start set: the first replies are news
}

unsigned char Plant::data_flag() const {
    return static_cast<unsigned char>((state_.alarm_unread ? 0x01 : 0) |
                                      (state_.switch_unread ? 0x10 : 0));
}

void Plant::step(double dt) {
    events_.clear();
    if (dt < 0.0) dt = 0.0;
    if (dt > 0.0) {
        // Drift: mean reversion over about half a minute, noise growing with
        // the square root of the time step.
        const double k = std::min(1.0, dt / 30.0);
        const double sk = std::sqrt(k);
        for (std::size_t i = 0; i < ac_v_.size(); ++i) {
            for (auto& v : ac_v_[i]) v += k * (220.0 - v) * 0.5 + 1.2 * sk * rng_.normal();
            freq_[i] += k * (50.0 - freq_[i]) + 0.03 * sk * rng_.normal();
        }
        for (std::size_t s = 0; s < load_.size(); ++s)
            load_[s] = std::clamp(load_[s] + k * (load_base_[s] - load_[s]) + 1.5 * sk * rng_.normal(),
                                  5.0, 120.0);
        batt_temp_ += k * (25.0 - batt_temp_) + 0.2 * sk * rng_.normal();
        ambient_ += k * (27.0 - ambient_) + 0.3 * sk * rng_.normal();
        random_events(dt);

        // Batteries: charged while the rectifiers carry the plant, else they
        // carry the load and the bus voltage sags with their charge.
        int running = 0;
        for (const auto& r : state_.rect) running += (r.on && !r.failed) ? 1 : 0;
        const bool supplied = mains_ok_ && running > 0;
        const double settle = std::min(1.0, dt / 15.0);
        for (std::size_t s = 0; s < soc_.size(); ++s) {
            const double load = load_[s];
            if (supplied) {
                const double charge = std::min(30.0, 0.5 + 40.0 * (1.0 - soc_[s]));
                soc_[s] = std::min(1.0, soc_[s] + charge * dt / (3600.0 * kBatteryAh));
                const double target = state_.charge_mode == 1 ? state_.equalize_v : state_.float_v;
                dc_v_[s] += settle * (target - dc_v_[s]);
            } else {
                soc_[s] = std::max(0.0, soc_[s] - load * dt / (3600.0 * kBatteryAh));
                const double target = 42.0 + 9.0 * soc_[s] - 0.02 * load;
                dc_v_[s] += std::min(1.0, dt / 5.0) * (target - dc_v_[s]);
            }
        }
    }
    recompute();
    if (dt > 0.0 && event_rate > 0.0 && rng_.chance(1.0 - std::exp(-event_rate * dt / kInvalidEvery)))
        invalidate_reading();
}

void Plant::random_events(double dt) {
    // Plant-started events run out first, then new ones may start.
    if (!mains_ok_ && mains_left_ > 0.0 && (mains_left_ -= dt) <= 0.0) end_mains_failure();
    for (std::size_t k = 0; k < rect_fault_left_.size(); ++k)
        if (rect_fault_left_[k] > 0.0 && (rect_fault_left_[k] -= dt) <= 0.0) repair_rectifier(static_cast<int>(k));
    if (fuse_left_ > 0.0 && (fuse_left_ -= dt) <= 0.0) replace_fuses();
    if (event_rate <= 0.0) return;

    auto happens = [&](double every) { return rng_.chance(1.0 - std::exp(-event_rate * dt / every)); };
    if (mains_ok_ && happens(kMainsEvery)) {
        start_mains_failure();
        mains_left_ = rng_.uniform(30.0, 90.0);
    }
    if (!state_.rect.empty() && happens(kRectFaultEvery)) {
        const int k = rng_.below(static_cast<int>(state_.rect.size()));
        if (!state_.rect[k].failed && fail_rectifier(k)) rect_fault_left_[k] = rng_.uniform(40.0, 120.0);
    }
    if (fuse_left_ <= 0.0 && happens(kFuseEvery) && blow_fuse()) fuse_left_ = rng_.uniform(40.0, 120.0);
}

void Plant::start_mains_failure() {
    if (!mains_ok_) return;
    mains_ok_ = false;
    mains_left_ = -1.0;
    note("mains failure begins");
}

void Plant::end_mains_failure() {
    if (mains_ok_) return;
    mains_ok_ = true;
    mains_left_ = 0.0;
    note("mains restored");
}

bool Plant::fail_rectifier(int k) {
    if (k < 0 || k >= static_cast<int>(state_.rect.size())) return false;
    if (!state_.rect[k].failed) note("rectifier " + std::to_string(k + 1) + " fault");
    state_.rect[k].failed = true;
    rect_fault_left_[k] = -1.0;
    return true;
}

void Plant::repair_rectifier(int k) {
    if (k < 0 || k >= static_cast<int>(state_.rect.size())) return;
    if (state_.rect[k].failed) note("rectifier " + std::to_string(k + 1) + " repaired");
    state_.rect[k].failed = false;
    rect_fault_left_[k] = 0.0;
}

bool Plant::blow_fuse() {
    // Candidates: unblown branch fuses; without branches, battery fuses.
    std::vector<std::pair<int, int>> candidates;
    const int first = shape_.branches > 0 ? shape_.batteries : 0;
    const int last = shape_.branches > 0 ? shape_.batteries + shape_.branches : shape_.batteries;
    for (std::size_t s = 0; s < fuse_blown_.size(); ++s)
        for (int f = first; f < last && f < static_cast<int>(fuse_blown_[s].size()); ++f)
            if (!fuse_blown_[s][f]) candidates.emplace_back(static_cast<int>(s), f);
    if (candidates.empty()) return false;
    const auto pick = candidates[rng_.below(static_cast<int>(candidates.size()))];
    fuse_blown_[pick.first][pick.second] = true;
    fuse_left_ = -1.0;
    note("screen " + std::to_string(pick.first + 1) + " fuse " + std::to_string(pick.second + 1) + " blown");
    return true;
}

void Plant::replace_fuses() {
    bool any = false;
    for (auto& screen : fuse_blown_)
        for (auto&& f : screen) {
            any = any || f;
            f = false;
        }
    fuse_left_ = 0.0;
    if (any) note("fuses replaced");
}

void Plant::invalidate_reading() {
    std::vector<std::pair<std::string, Reading*>> all;
    for (std::size_t i = 0; i < state_.ac.size(); ++i) {
        const std::string in = "AC input " + std::to_string(i + 1);
        for (int p = 0; p < 3; ++p)
            all.emplace_back(in + " phase " + static_cast<char>('A' + p), &state_.ac[i].v[p]);
        all.emplace_back(in + " frequency", &state_.ac[i].f);
    }
    all.emplace_back("AC current A", &state_.ia);
    all.emplace_back("AC current B", &state_.ib);
    all.emplace_back("AC current C", &state_.ic);
    all.emplace_back("rectifier voltage", &state_.rc_v);
    for (std::size_t k = 0; k < state_.rect.size(); ++k)
        all.emplace_back("rectifier " + std::to_string(k + 1) + " current", &state_.rect[k].i);
    for (std::size_t s = 0; s < state_.dc.size(); ++s) {
        auto& d = state_.dc[s];
        const std::string sc = "screen " + std::to_string(s + 1);
        all.emplace_back(sc + " voltage", &d.v);
        all.emplace_back(sc + " load current", &d.i);
        for (std::size_t k = 0; k < d.batt.size(); ++k)
            all.emplace_back(sc + " battery " + std::to_string(k + 1) + " current", &d.batt[k]);
        for (std::size_t k = 0; k < d.branch.size(); ++k)
            all.emplace_back(sc + " branch " + std::to_string(k + 1) + " current", &d.branch[k]);
        for (std::size_t k = 0; k < d.user.size(); ++k)
            all.emplace_back(sc + " user value " + std::to_string(k + 1), &d.user[k]);
    }
    const auto& pick = all[rng_.below(static_cast<int>(all.size()))];
    pick.second->invalid = true;
    note("invalid reading: " + pick.first);
}

bool Plant::set_rectifier_on(int number, bool on) {
    if (number < 1 || number > static_cast<int>(state_.rect.size())) return false;
    state_.rect[number - 1].on = on;
    recompute();
    return true;
}

void Plant::set_charge_mode(unsigned char mode) {
    state_.charge_mode = mode;
    recompute();
}

bool Plant::set_float_voltage(double v) {
    if (!(v >= 42.0 && v <= 58.0)) return false;
    state_.float_v = v;
    return true;
}

bool Plant::set_equalize_voltage(double v) {
    if (!(v >= 42.0 && v <= 60.0)) return false;
    state_.equalize_v = v;
    return true;
}

bool Plant::set_clock(const unsigned char* b, int len) {
    if (b == nullptr || len != 7) return false;
    const int month = b[2], day = b[3], hour = b[4], minute = b[5], second = b[6];
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return false;
    state_.clock.assign(b, b + 7);
    return true;
}

// Every reported reading and state byte from the hidden state. Uses no
// random numbers, so controls may call it between steps.
void Plant::recompute() {
    PlantState& st = state_;
    int running = 0;
    for (const auto& r : st.rect) running += (r.on && !r.failed) ? 1 : 0;
    const bool supplied = mains_ok_ && running > 0;

    // DC screens first: the rectifiers carry their load and battery charge.
    double rect_total = 0.0;
    for (std::size_t s = 0; s < st.dc.size(); ++s) {
        DcScreen& d = st.dc[s];
        const auto& blown = fuse_blown_[s];
        const int nb = std::max(0, shape_.batteries);
        const int nbr = std::max(0, shape_.branches);
        d.branch.assign(nbr, Reading{});
        double load = 0.0;
        for (int b = 0; b < nbr; ++b) {
            const bool out = blown[nb + b];
            const double a = out ? 0.0 : round_to(load_[s] * branch_weight_[s][b], 0.01);
            d.branch[b].value = a;
            load += a;
        }
        if (nbr == 0) load = round_to(load_[s], 0.01);
        d.i = Reading{load, false};
        d.v = Reading{round_to(dc_v_[s], 0.01), false};

        int live_batteries = 0;
        for (int b = 0; b < nb; ++b) live_batteries += blown[b] ? 0 : 1;
        const double charge = supplied ? std::min(30.0, 0.5 + 40.0 * (1.0 - soc_[s])) : -load;
        d.batt.assign(nb, Reading{});
        for (int b = 0; b < nb; ++b)
            d.batt[b].value = (blown[b] || live_batteries == 0) ? 0.0 : round_to(charge / live_batteries, 0.01);
        if (supplied) rect_total += load + (live_batteries > 0 ? charge : 0.0);

        const int np = std::max(0, shape_.dc_user_values);
        d.user.assign(np, Reading{});
        for (int k = 0; k < np; ++k) {
            double v = 0.0;
            switch (k) {
            case 0: v = batt_temp_; break;                      // degC
            case 1: v = ambient_; break;                        // degC
            case 2: v = 100.0 * soc_[s]; break;                 // % capacity
            case 3: v = running; break;                         // modules running
            default: v = batt_temp_ + 0.5 * (k - 3); break;     // cell block temperatures
            }
            d.user[k].value = std::round(v);
        }
        d.v_alarm = limit_byte(d.v.value, kDcLow, kDcHigh);
        d.fuses.assign(blown.size(), 0);
        for (std::size_t f = 0; f < blown.size(); ++f) d.fuses[f] = blown[f] ? kFuseBlown : 0;
        d.user_alarms.assign(std::max(0, shape_.dc_user_alarms), 0);
        if (!d.user_alarms.empty() && d.v.value < kFirstDisconnect) d.user_alarms[0] = 0x80;
        if (d.user_alarms.size() > 1 && d.v.value < kSecondDisconnect) d.user_alarms[1] = 0x81;
    }

    // Rectifiers share the total by their weights.
    double weight_sum = 0.0;
    for (std::size_t k = 0; k < st.rect.size(); ++k)
        if (st.rect[k].on && !st.rect[k].failed) weight_sum += rect_weight_[k];
    const double bus_v = dc_v_.empty() ? st.float_v : dc_v_[0];
    st.rc_v = Reading{round_to(bus_v + (supplied ? 0.05 : 0.0), 0.01), false};
    double rect_sum = 0.0;
    for (std::size_t k = 0; k < st.rect.size(); ++k) {
        Rectifier& r = st.rect[k];
        const bool runs = supplied && r.on && !r.failed;
        const double i = runs ? round_to(rect_total * rect_weight_[k] / weight_sum, 0.01) : 0.0;
        rect_sum += i;
        r.i = Reading{i, false};
        r.sw[0] = (r.on && !r.failed) ? 0x00 : 0x01;          // 0 on, 1 off
        r.sw[1] = i > 0.9 * kModuleLimit ? 0x00 : 0x01;       // 0 in current limit
        r.sw[2] = st.charge_mode;                             // 0 float, 1 equalise, 2 test
        r.user_sw.assign(std::max(0, shape_.rect_user_switches), 0);
        r.fault = r.failed ? 0x01 : 0x00;
        r.user_alarms.assign(std::max(0, shape_.rect_user_alarms), 0);
        auto set_user = [&r](std::size_t idx, bool on) {
            if (idx < r.user_alarms.size()) r.user_alarms[idx] = on ? static_cast<unsigned char>(0x80 + idx) : 0;
        };
        set_user(1, r.failed);   // module fault
        set_user(2, r.failed);   // fan fault
        set_user(6, !mains_ok_); // AC under-voltage
    }

    // AC side: what the rectifiers draw.
    double v_avg = 0.0;
    for (const auto& in : ac_v_)
        for (double v : in) v_avg += v;
    v_avg = ac_v_.empty() ? 220.0 : v_avg / (3.0 * static_cast<double>(ac_v_.size()));
    const double phase_i = mains_ok_ ? rect_sum * bus_v / kEfficiency / (3.0 * v_avg) : 0.0;
    Reading* currents[3] = {&st.ia, &st.ib, &st.ic};
    unsigned char* current_alarms[3] = {&st.ia_alarm, &st.ib_alarm, &st.ic_alarm};
    for (int p = 0; p < 3; ++p) {
        *currents[p] = Reading{round_to(phase_i * phase_share_[p], 0.01), false};
        *current_alarms[p] = currents[p]->value > kAcCurrentHigh ? kAboveLimit : 0;
    }
    for (std::size_t i = 0; i < st.ac.size(); ++i) {
        AcInput& in = st.ac[i];
        for (int p = 0; p < 3; ++p) {
            in.v[p] = Reading{mains_ok_ ? round_to(ac_v_[i][p], 0.01) : 0.0, false};
            in.v_alarm[p] = limit_byte(in.v[p].value, kAcLow, kAcHigh);
        }
        in.f = Reading{mains_ok_ ? round_to(freq_[i], 0.01) : 0.0, false};
        in.f_alarm = limit_byte(in.f.value, kFreqLow, kFreqHigh);
        in.user.assign(std::max(0, shape_.ac_user_values),
                       Reading{round_to(phase_i / static_cast<double>(st.ac.size()), 0.01), false});
        in.fuses.assign(std::max(0, shape_.ac_fuses), 0);
        in.user_alarms.assign(std::max(0, shape_.ac_user_alarms), 0);
        if (in.user_alarms.size() > 4 && !mains_ok_) in.user_alarms[4] = 0x84;  // input power cut
    }
    st.ac_switches.assign(std::max(0, shape_.ac_switches), 0);
    st.ac_user_switches.assign(std::max(0, shape_.ac_user_switches), 0);

    st.model_value[0] = Reading{round_to(batt_temp_, 0.1), false};
    st.model_value[1] = Reading{round_to(ambient_, 0.1), false};

    // Data flag bits: set when a state byte changed since the last step.
    Bytes alarms, switches;
    for (const auto& in : st.ac) {
        alarms.insert(alarms.end(), in.v_alarm, in.v_alarm + 3);
        alarms.push_back(in.f_alarm);
        alarms.insert(alarms.end(), in.fuses.begin(), in.fuses.end());
        alarms.insert(alarms.end(), in.user_alarms.begin(), in.user_alarms.end());
    }
    alarms.push_back(st.ia_alarm);
    alarms.push_back(st.ib_alarm);
    alarms.push_back(st.ic_alarm);
    for (const auto& r : st.rect) {
        alarms.push_back(r.fault);
        alarms.insert(alarms.end(), r.user_alarms.begin(), r.user_alarms.end());
        switches.insert(switches.end(), r.sw, r.sw + 3);
        switches.insert(switches.end(), r.user_sw.begin(), r.user_sw.end());
    }
    for (const auto& d : st.dc) {
        alarms.push_back(d.v_alarm);
        alarms.insert(alarms.end(), d.fuses.begin(), d.fuses.end());
        alarms.insert(alarms.end(), d.user_alarms.begin(), d.user_alarms.end());
    }
    switches.insert(switches.end(), st.ac_switches.begin(), st.ac_switches.end());
    switches.insert(switches.end(), st.ac_user_switches.begin(), st.ac_user_switches.end());
    if (alarms != alarm_sig_) st.alarm_unread = true;
    if (switches != switch_sig_) st.switch_unread = true;
    alarm_sig_ = std::move(alarms);
    switch_sig_ = std::move(switches);
}

}  // namespace plant
