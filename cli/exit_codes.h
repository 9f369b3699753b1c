#pragma once

#include "link/result_flags.h"

#include <QString>

#include <cstdint>
#include <stdexcept>

namespace olv::cli {

// What the program's exit code tells a script.
enum ExitCode : int {
    Done = 0,              // the job is done (a comparison or check passed)
    CheckFailed = 1,       // a check or comparison failed, or the job was stopped before it was done
    BadCommandLine = 2,    // the command line is wrong: an unknown option, a value out of range
    LineFault = 3,         // the port could not be opened, nothing answered, or the line garbled a reply
    InstrumentRefused = 4, // the instrument answered with an exception
    FileFault = 5,         // a file could not be read or written, or was refused
};

// The end of a job with its exit code and the one line that says why (without the program's name).
class Failure : public std::runtime_error {
  public:
    Failure(int code, const QString& message)
        : std::runtime_error(message.toStdString()), code_(code), message_(message) {}
    int code() const { return code_; }
    const QString& message() const { return message_; }

  private:
    int code_;
    QString message_;
};

// The exit code of a failed transaction: an exception reply is the instrument's refusal, except the
// two codes a Modbus TCP gateway gives when the line behind it is silent; everything else is the line's.
int ExitCodeOf(link::ResultFlags flags, uint8_t exceptionCode);

// The words of a failed transaction, as the window's box says them ("Ответа не было." when nothing came at
// all, whatever else is set), or for an exception "Устройство сообщает об ошибке: Адрес данных выходит за допустимые границы. (код 2)".
QString ExchangeFailureText(link::ResultFlags flags, uint8_t exceptionCode);

} // namespace olv::cli
