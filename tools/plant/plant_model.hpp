// The simulated DC power plant: AC distribution, rectifier modules and one or
// two DC distribution screens, with drifting readings and seeded events.
//
// The model holds readings in engineering units (V, A, Hz, degC, %) as the
// plant's own controller would; the reply encoders (reply_encoders.hpp) put
// them on the wire and the truth builder (truth.hpp) says what a correct
// capture makes of them. Everything random comes from one seeded generator,
// so a seed gives the same plant life on every machine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace plant {

using Bytes = std::vector<unsigned char>;

// splitmix64: small, fast, and the same sequence everywhere (the standard
// library's distributions are not portable, so none is used).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    double uniform();                          // [0, 1)
    double uniform(double lo, double hi);      // [lo, hi)
    int below(int n);                          // [0, n); 0 when n <= 0
    int between(int lo, int hi);               // [lo, hi]
    bool chance(double p);
    double normal();                           // mean 0, deviation about 1

private:
    std::uint64_t state_;
};

// One analog reading. An invalid reading goes on the wire as the invalid
// marker bytes whatever its value.
struct Reading {
    double value = 0.0;
    bool invalid = false;
};

// How many of each item the plant reports. Counts above the data record's
// capacities are allowed (a real plant may have them); the AC input count,
// the AC switch count and the rectifier count are bounded by what a reply
// that a correct capture accepts may carry (2, 8, 40).
struct PlantShape {
    int ac_inputs = 1;           // AC input channels, 1..2
    int ac_switches = 3;         // AC switch states, 0..8
    int ac_user_switches = 0;    // user-defined AC switch bytes
    int ac_user_values = 0;      // user-defined analog values per AC input
    int ac_fuses = 0;            // fuse bytes per AC input in the alarm reply
    int ac_user_alarms = 0;      // user-defined alarm bytes per AC input
    int rectifiers = 6;          // 0..40
    int rect_user_switches = 0;  // user-defined switch bytes per rectifier
    int rect_user_alarms = 7;    // user-defined alarm bytes per rectifier
    int screens = 1;             // DC screens, 1..2
    int batteries = 2;           // battery groups per screen
    int branches = 6;            // load branches per screen
    int dc_user_values = 4;      // user-defined analog values per screen
    int dc_extra_fuses = 0;      // fuse bytes beyond batteries + branches
    int dc_user_alarms = 5;      // user-defined DC alarm bytes per screen

    // Fuse/branch alarm bytes per screen: one per battery group, one per
    // branch, then the extra ones.
    int dc_fuses() const { return batteries + branches + dc_extra_fuses; }

    // A plain site: one AC input, `rectifiers` modules, `screens` screens.
    static PlantShape typical(int rectifiers, int screens);
    // A seeded mix of counts, many of them beyond the record's capacities
    // (3 battery groups, 22 branches, 10 user values, 45 fuse bytes ...).
    static PlantShape varied(int rectifiers, int screens, std::uint64_t seed);
    // Empty when the shape is usable, else what is wrong.
    std::string problem() const;
};

struct AcInput {
    Reading v[3];              // phase voltages A, B, C, V
    Reading f;                 // frequency, Hz
    std::vector<Reading> user; // user-defined analog values
    unsigned char v_alarm[3] = {0, 0, 0};
    unsigned char f_alarm = 0;
    Bytes fuses;               // fuse states
    Bytes user_alarms;         // user-defined alarm bytes
};

struct Rectifier {
    Reading i;                 // output current, A
    unsigned char sw[3] = {0, 0, 0};
    Bytes user_sw;
    unsigned char fault = 0;
    Bytes user_alarms;
    bool on = true;            // commanded on
    bool failed = false;       // module fault (event)
};

struct DcScreen {
    Reading v;                 // output voltage, V
    Reading i;                 // total load current, A
    std::vector<Reading> batt; // battery group currents, A (charge positive)
    std::vector<Reading> branch;  // load branch currents, A
    std::vector<Reading> user;    // user-defined values, unscaled integers
    unsigned char v_alarm = 0;
    Bytes fuses;               // battery fuses, then branch fuses, then extras
    Bytes user_alarms;
};

// What the plant reports, recomputed at every step.
struct PlantState {
    std::vector<AcInput> ac;
    Reading ia, ib, ic;        // AC phase currents, A
    unsigned char ia_alarm = 0, ib_alarm = 0, ic_alarm = 0;
    Bytes ac_switches;         // 0x00 closed, 0x01 open
    Bytes ac_user_switches;
    Reading rc_v;              // rectifier output voltage, V
    std::vector<Rectifier> rect;
    std::vector<DcScreen> dc;
    // Model-specific 0x80/0x42 values, tenths.
    unsigned char model_flag[2] = {1, 1};
    Reading model_value[2];
    // Settings the controls change.
    double float_v = 53.5;     // float charge voltage, V
    double equalize_v = 56.4;  // equalise charge voltage, V
    unsigned char charge_mode = 0;  // 0 float, 1 equalise, 2 battery test
    // Unread-change flags of the data flag byte: bit 0 alarms, bit 4 switches.
    bool alarm_unread = true;
    bool switch_unread = true;
    // Plant clock as last set by the time-setting command (7 bytes).
    Bytes clock;
};

enum class EventKind { mains_failure, rectifier_fault, blown_fuse, invalid_reading };

const char* event_name(EventKind kind);

class Plant {
public:
    Plant(const PlantShape& shape, std::uint64_t seed);

    const PlantShape& shape() const { return shape_; }
    const PlantState& state() const { return state_; }

    // Advances the plant by dt seconds: readings drift, random events start
    // and end (at the rates below times `event_rate`; 0 = none), and every
    // reading and alarm byte is recomputed. An invalid reading lasts one step.
    void step(double dt);

    double event_rate = 1.0;

    // Events, for scheduled scenarios and tests. Each takes effect at the
    // next step and lasts until ended (or, when started by the plant itself,
    // for a seeded time).
    void start_mains_failure();
    void end_mains_failure();
    bool mains_ok() const { return mains_ok_; }
    // Module k (0-based); false when there is none.
    bool fail_rectifier(int k);
    void repair_rectifier(int k);
    // Blows a seeded branch fuse (or a battery fuse when there are no
    // branches); returns false when the plant has no fuse left to blow.
    bool blow_fuse();
    void replace_fuses();
    // Marks one seeded reading invalid for the current state; recomputed
    // away at the next step.
    void invalidate_reading();

    // Controls (0x41/0x45, 0x42/0x48, 0x42/0x49, 0x41/0x4E). False when the
    // request is out of range; nothing changes then.
    bool set_rectifier_on(int number_1based, bool on);
    void set_charge_mode(unsigned char mode);
    bool set_float_voltage(double v);
    bool set_equalize_voltage(double v);
    bool set_clock(const unsigned char* bytes, int len);

    // Marks that a switch-state or alarm reply was read (clears the flag bit).
    void switches_read() { state_.switch_unread = false; }
    void alarms_read() { state_.alarm_unread = false; }
    // Data flag byte of the next reply: bit 0 unread alarm change, bit 4
    // unread switch change.
    unsigned char data_flag() const;

    // One line per event that started or ended in the last step (for the
    // scenario's comments and the simulator's log).
    const std::vector<std::string>& last_events() const { return events_; }
    void clear_events() { events_.clear(); }

private:
    void recompute();
    void random_events(double dt);
    void note(const std::string& text) { events_.push_back(text); }

    PlantShape shape_;
    Rng rng_;
    PlantState state_;
    std::vector<std::string> events_;

    // Hidden physical state.
    bool mains_ok_ = true;
    double mains_left_ = 0.0;        // s of a plant-started failure; <0: until ended
    std::vector<double> rect_fault_left_;
    std::vector<double> rect_weight_;
    std::vector<std::vector<double>> ac_v_;   // per input, per phase
    std::vector<double> freq_;
    std::vector<double> load_;                // per screen, A
    std::vector<double> load_base_;           // what the load drifts around, A
    double phase_share_[3] = {1.0, 1.0, 1.0}; // AC phase current imbalance
    std::vector<std::vector<double>> branch_weight_;
    std::vector<std::vector<bool>> fuse_blown_;  // per screen, per fuse byte
    double fuse_left_ = 0.0;
    std::vector<double> soc_;                  // battery state of charge per screen, 0..1
    std::vector<double> dc_v_;
    double batt_temp_ = 25.0;
    double ambient_ = 27.0;
    Bytes alarm_sig_;                          // alarm bytes of the last step
    Bytes switch_sig_;                         // switch bytes of the last step
};

}  // namespace plant
