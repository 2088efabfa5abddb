#pragma once
// The serial-number ledger in a PostgreSQL database, shared by the line PCs.
//
// Tables (created when missing):
//   tarnel_serial_state     one row: the next number and the increment
//   tarnel_serial_returned  numbers given back, handed out again lowest first
//   tarnel_serial_handout   open hand-outs: id, station, number, sent, when
//   tarnel_serial_retired   numbers retired by recover(), with station and time
// Numbers are kept as one bigint (upper eight digits times 10^8 plus the lower eight).
// Each step is one transaction: reserve locks the state row (SELECT ... FOR UPDATE), so two
// PCs never take the same number; the other steps are single statements.

#include <memory>
#include <string>

#include "core/serial_ledger.h"

namespace tarnel {

std::unique_ptr<SerialLedger> openPostgresSerialLedger(const std::string& uri, SerialValue first,
                                                       SerialValue increment, std::string* error);

}  // namespace tarnel
