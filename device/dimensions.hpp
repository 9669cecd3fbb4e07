// Capacities of the data record's arrays. Each is a constant-returning
// function of a dimension template whose arguments are the numbers themselves.
#pragma once

template <int AIRLOCK, int P40_43>
struct tele_c_pmbuspower_ac {
    static constexpr int AIRLOCK_MAX() { return AIRLOCK; }  // AC switch states kept
    static constexpr int P40_43_SIZE() { return P40_43; }  // user AC switch states kept
};

template <int P40_41, int P40_44>
struct tele_c_pmbuspower_ac_channel {
    static constexpr int P40_41_SIZE() { return P40_41; }  // user analog values per AC channel
    static constexpr int p40_44_SIZE() { return P40_44; }  // user alarm bytes per AC channel
};

template <int P41_41, int P41_43, int P41_44>
struct tele_c_pmbuspower_rc_channel {
    static constexpr int P41_41_SIZE() { return P41_41; }  // user analog values per rectifier
    static constexpr int P41_43_SIZE() { return P41_43; }  // user switch states per rectifier
    static constexpr int P41_44_SIZE() { return P41_44; }  // user alarm bytes per rectifier
};

template <int M, int N, int P, int ALERT_M, int ALERT_P>
struct tele_c_pmbuspower_dc {
    static constexpr int M_SIZE() { return M; }              // battery groups per screen
    static constexpr int N_SIZE() { return N; }              // branch currents per screen
    static constexpr int P_SIZE() { return P; }              // user analog values per screen
    static constexpr int ALERT_M_SIZE() { return ALERT_M; }  // fuse/branch alarm bytes per screen
    static constexpr int ALERT_P_SIZE() { return ALERT_P; }  // user DC alarm bytes per screen
};

using pxr52_ac_dim = tele_c_pmbuspower_ac<8, 0>;
using pxr52_ac_channel_dim = tele_c_pmbuspower_ac_channel<0, 0>;
using pxr52_rc_channel_dim = tele_c_pmbuspower_rc_channel<0, 1, 7>;
using pxr52_dc_dim = tele_c_pmbuspower_dc<2, 20, 9, 42, 5>;

constexpr int AIRLOCK_MAX = pxr52_ac_dim::AIRLOCK_MAX();
constexpr int P40_43_SIZE = pxr52_ac_dim::P40_43_SIZE();
constexpr int P40_41_SIZE = pxr52_ac_channel_dim::P40_41_SIZE();
constexpr int p40_44_SIZE = pxr52_ac_channel_dim::p40_44_SIZE();
constexpr int P41_41_SIZE = pxr52_rc_channel_dim::P41_41_SIZE();
constexpr int P41_43_SIZE = pxr52_rc_channel_dim::P41_43_SIZE();
constexpr int P41_44_SIZE = pxr52_rc_channel_dim::P41_44_SIZE();
constexpr int M_SIZE = pxr52_dc_dim::M_SIZE();
constexpr int N_SIZE = pxr52_dc_dim::N_SIZE();
constexpr int P_SIZE = pxr52_dc_dim::P_SIZE();
constexpr int ALERT_M_SIZE = pxr52_dc_dim::ALERT_M_SIZE();
constexpr int ALERT_P_SIZE = pxr52_dc_dim::ALERT_P_SIZE();
constexpr int CHANNEL_MAX = 2;  // AC channels in the record
constexpr int RC_MAX = 40;      // rectifiers in the record
