#pragma once

#include "monitor/pairing.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace olv::monitor {

// What the monitor knows of an instrument's encodings: the byte order of its live value (register 11)
// and the units it sends it in (the low byte of register 9), -1 while unknown.
struct DecodeContext {
    int byteOrder = 0;
    int units = -1;
};

// Takes what a read reply or an accepted write says about registers 9 and 11 into the context.
void Learn(int start, const uint16_t* words, int count, DecodeContext& context);

// The registers as this instrument's words, each field named, e.g. "статус: Нормальное измерение;
// значение: 1.2345 МПа". The encodings are those of the pages (device/encodings.h). A field needs all
// of its registers; unknown and kept registers, and parts of fields, show their raw words.
QString DescribeRegisters(int start, const uint16_t* words, int count, const DecodeContext& context);

// A write of these registers changes the line: the address and rate (8), register 10, the byte order
// (11) or the parity (1034).
bool ChangesLine(int start, int count);

// What the table shows of a frame.
struct Meaning {
    QString function;        // "3 чтение регистров"
    QString registers;       // "15..17"
    QString text;            // the values in the instrument's words
    bool write = false;      // a write or its acknowledgement
    bool lineChange = false; // a write that changes the line (ChangesLine)
};

// adu: the address and the PDU, without the CRC (RTU) or the MBAP header (Modbus TCP). span: a
// request's own registers, or for a paired reply those of its request (start -1 when unknown).
Meaning DescribeFrame(const uint8_t* adu, size_t size, Direction direction, Span span,
                      const DecodeContext& context);

// The words of a frame that is no frame: "ошибка CRC", "обрывок кадра", "ошибка линии".
QString DescribeBroken(size_t size, bool lineError);

} // namespace olv::monitor
