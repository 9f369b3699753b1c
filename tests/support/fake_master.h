#pragma once

#include "link/modbus_master.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace olv::test {

struct FakeTransaction {
    int function = 0;
    int start = 0;
    int count = 0;
    std::vector<uint16_t> words; // written, or returned by a read
    link::ResultFlags flags = 0;
    uint8_t exceptionCode = 0;
};

struct FakeFailure {
    link::ResultFlags flags = link::NoReply | link::WrongLength | link::WrongFunction | link::CrcMismatch;
    uint8_t exceptionCode = 0;
};

// A Modbus master over an in-memory copy of the instrument's registers (0..62, 1024..1028, 1034), for
// testing the device operations without a port. Every transaction is recorded. A transaction can be
// made to fail, chosen by its index (0 = the first transaction made) or by its function and start
// register; a failed read gives zeros and a failed write changes nothing. A register outside the map
// gives the exception reply "illegal data address" (flags 0x1A, code 2).
class FakeMaster : public link::ModbusMaster {
public:
    static constexpr int ReadFunction = 3;
    static constexpr int WriteFunction = 16;

    using Transaction = FakeTransaction;
    using Failure = FakeFailure;

    FakeMaster();

    link::ResultFlags readHoldingRegisters(int startRegister, int count, uint16_t* values,
                                           uint8_t& exceptionCode) override;
    link::ResultFlags writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                             uint8_t& exceptionCode) override;

    // The transaction with this index fails (a no-reply result unless told otherwise).
    void failTransaction(size_t index, Failure failure = {});
    // Every transaction of this function starting at this register fails.
    void failStart(int function, int startRegister, Failure failure = {});

    uint16_t& reg(int number) { return registers.at(number); }

    std::map<int, uint16_t> registers;
    std::vector<Transaction> transactions;

    // Called at the start of every transaction, before it is recorded; lets a test act between steps.
    std::function<void(const Transaction&)> onTransaction;

private:
    std::optional<Failure> failureFor(int function, int start) const;
    // Sets the flags of a transaction: a chosen failure, or an exception for a register outside the map.
    void judge(Transaction& t) const;

    std::map<size_t, Failure> failByIndex_;
    std::map<std::pair<int, int>, Failure> failByStart_;
};

} // namespace olv::test
