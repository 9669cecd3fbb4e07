// pwrsim's side of a live line: stopping on SIGINT/SIGTERM, waiting for the
// other side of a pseudo-terminal, reading with a time-out and writing at
// line speed, on the shared serial-line module.
#pragma once

#include <csignal>
#include <string>

#include "tools/common/serial_line.hpp"

namespace pwrsim {

// Set by SIGINT and SIGTERM once install_stop_handlers() ran.
extern volatile std::sig_atomic_t g_stop;
void install_stop_handlers();

// Seconds on the monotonic clock.
double monotonic_now();
// Sleeps until `deadline` (monotonic seconds); false when stopped first.
bool sleep_until(double deadline);

// Waits until the other side of a pseudo-terminal made here is opened;
// false when stopped first.
bool wait_for_peer(const serial::SerialLine& line);
// After the other side went away: waits up to `grace` seconds for it to
// come back. False when it did not (or on a stop).
bool peer_back_within(const serial::SerialLine& line, double grace);

// Reads what arrives within `timeout_ms`: >0 bytes read, 0 nothing (or
// interrupted), -1 the line failed or the other side is gone.
int read_some(serial::SerialLine& line, unsigned char* buf, int cap, int timeout_ms);
// Writes every byte; false when the line failed or a stop came.
bool write_all(serial::SerialLine& line, const std::string& bytes);
// Writes at line speed, `bits` bits per character at `baud`, in slices of
// about 10 ms, dropping whatever the other side sends meanwhile; false when
// the line failed or a stop came.
bool write_paced(serial::SerialLine& line, const std::string& bytes, unsigned baud, unsigned bits);

}  // namespace pwrsim
