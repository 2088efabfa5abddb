#include "core/serial_number_source.h"

#include "core/operator.h"
#include "core/outcome_reporter.h"
#include "core/programming_job.h"

namespace tarnel {

SerialNumberSource::SerialNumberSource(SerialLedger& ledger, std::string station)
    : ledger_(ledger), station_(std::move(station)) {}

std::optional<SerialValue> SerialNumberSource::take(int slot, std::string* error) {
    settleSlot(slot);
    auto reservation = ledger_.reserve(station_, error);
    if (!reservation)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    held_.at(static_cast<std::size_t>(slot)) = Held{*reservation, false};
    return reservation->value;
}

bool SerialNumberSource::markSent(int slot, ProgrammingJob& job, std::string* error) {
    std::optional<Held> held;
    {
        std::lock_guard lock(mutex_);
        held = held_.at(static_cast<std::size_t>(slot));
    }
    if (!held) {
        if (error != nullptr)
            *error = "no number was reserved for this chip";
        return false;
    }
    if (!ledger_.markSent(held->reservation, error)) {
        close(slot, false);
        return false;
    }
    {
        std::lock_guard lock(mutex_);
        held_[static_cast<std::size_t>(slot)]->sent = true;
    }
    job.serialHigh = held->reservation.value.high;
    job.serialLow = held->reservation.value.low;
    return true;
}

void SerialNumberSource::passed(int slot) {
    close(slot, true);
}

void SerialNumberSource::failed(int slot) {
    close(slot, false);
}

// Closes the slot's hand-out: used up (consumed) or handed back.
void SerialNumberSource::close(int slot, bool used) {
    std::optional<Held> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_.at(static_cast<std::size_t>(slot)));
    }
    if (!held)
        return;
    std::string error;
    const bool closed = used ? ledger_.consume(held->reservation, &error)
                             : ledger_.giveBack(held->reservation, &error);
    if (!closed) {
        std::lock_guard lock(mutex_);
        trouble_ = error;
    }
}

std::optional<SerialValue> SerialNumberSource::settleSlot(int slot) {
    std::optional<Held> held;
    {
        std::lock_guard lock(mutex_);
        held = held_.at(static_cast<std::size_t>(slot));
    }
    if (!held)
        return std::nullopt;
    // A number that went out to a chip whose fate is unknown may be on that chip.
    close(slot, held->sent);
    if (!held->sent)
        return std::nullopt;
    if (retired_)
        retired_(held->reservation.value);
    return held->reservation.value;
}

std::vector<SerialValue> SerialNumberSource::settle() {
    std::vector<SerialValue> retired;
    for (int slot = 0; slot < kSlots; ++slot) {
        if (const auto value = settleSlot(slot))
            retired.push_back(*value);
    }
    return retired;
}

void SerialNumberSource::setRetiredListener(std::function<void(SerialValue)> listener) {
    std::lock_guard lock(mutex_);
    retired_ = std::move(listener);
}

std::string SerialNumberSource::trouble() const {
    std::lock_guard lock(mutex_);
    return trouble_;
}

void SerialNumberSource::clearTrouble() {
    std::lock_guard lock(mutex_);
    trouble_.clear();
}

namespace {

void ledgerFailure(Operator& op, const std::string& reason) {
    noteFailureClass(op, FailureClass::Link);
    showFail(op, std::string(kLedgerUnreachable) + "\n" + reason);
}

}  // namespace

bool reserveSerialNumber(ProgrammingJob& job, Operator& op, int slot) {
    if (job.serialSource == nullptr)
        return true;
    std::string error;
    if (job.serialSource->take(slot, &error))
        return true;
    ledgerFailure(op, error);
    return false;
}

bool sendingSerialNumber(ProgrammingJob& job, Operator& op, int slot) {
    if (job.serialSource == nullptr)
        return true;
    std::string error;
    if (job.serialSource->markSent(slot, job, &error))
        return true;
    ledgerFailure(op, error);
    return false;
}

bool drawSerialNumber(ProgrammingJob& job, Operator& op, int slot) {
    return reserveSerialNumber(job, op, slot) && sendingSerialNumber(job, op, slot);
}

void serialNumberUsed(ProgrammingJob& job, int slot) {
    if (job.serialSource != nullptr)
        job.serialSource->passed(slot);
    else
        job.advanceSerialNumber();
}

void serialNumberRefused(ProgrammingJob& job, int slot) {
    if (job.serialSource != nullptr)
        job.serialSource->failed(slot);
}

void settleSerialNumbers(ProgrammingJob& job) {
    if (job.serialSource != nullptr)
        job.serialSource->settle();
}

}  // namespace tarnel
