#include "tests/support/fake_master.h"

namespace olv::test {

namespace {
constexpr link::ResultFlags IllegalAddressFlags = link::WrongLength | link::WrongFunction | link::ExceptionReply;
constexpr uint8_t IllegalDataAddress = 2;
} // namespace

FakeMaster::FakeMaster() {
    for (int r = 0; r <= 62; ++r) registers[r] = 0;
    for (int r = 1024; r <= 1028; ++r) registers[r] = 0;
    registers[1034] = 0;
}

void FakeMaster::failTransaction(size_t index, Failure failure) { failByIndex_[index] = failure; }

void FakeMaster::failStart(int function, int startRegister, Failure failure) {
    failByStart_[{function, startRegister}] = failure;
}

std::optional<FakeMaster::Failure> FakeMaster::failureFor(int function, int start) const {
    if (auto it = failByIndex_.find(transactions.size()); it != failByIndex_.end()) return it->second;
    if (auto it = failByStart_.find({function, start}); it != failByStart_.end()) return it->second;
    return std::nullopt;
}

void FakeMaster::judge(Transaction& t) const {
    if (auto failure = failureFor(t.function, t.start)) {
        t.flags = failure->flags;
        t.exceptionCode = failure->exceptionCode;
        return;
    }
    for (int i = 0; i < t.count; ++i) {
        if (!registers.contains(t.start + i)) {
            t.flags = IllegalAddressFlags;
            t.exceptionCode = IllegalDataAddress;
            return;
        }
    }
}

link::ResultFlags FakeMaster::readHoldingRegisters(int startRegister, int count, uint16_t* values,
                                                   uint8_t& exceptionCode) {
    Transaction t{ReadFunction, startRegister, count, {}, 0, 0};
    if (onTransaction) onTransaction(t);
    exceptionCode = 0;
    for (int i = 0; i < count; ++i) values[i] = 0;

    judge(t);
    if (t.flags == 0) {
        for (int i = 0; i < count; ++i) values[i] = registers[startRegister + i];
    }
    t.words.assign(values, values + count);
    exceptionCode = t.exceptionCode;
    transactions.push_back(t);
    return t.flags;
}

link::ResultFlags FakeMaster::writeMultipleRegisters(int startRegister, int count, const uint16_t* values,
                                                     uint8_t& exceptionCode) {
    Transaction t{WriteFunction, startRegister, count, std::vector<uint16_t>(values, values + count), 0, 0};
    if (onTransaction) onTransaction(t);
    exceptionCode = 0;

    judge(t);
    if (t.flags == 0) {
        for (int i = 0; i < count; ++i) registers[startRegister + i] = values[i];
    }
    exceptionCode = t.exceptionCode;
    transactions.push_back(t);
    return t.flags;
}

} // namespace olv::test
