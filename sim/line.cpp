#include "sim/line.h"

#include "link/crc16.h"
#include "sim/text_values.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace olv::sim {

namespace {

void PutCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = link::Crc16(frame.data(), static_cast<int>(frame.size()) - 1);
    frame.push_back(static_cast<uint8_t>(crc));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

void ReplaceCrc(std::vector<uint8_t>& frame) {
    frame.resize(frame.size() - 2);
    PutCrc(frame);
}

// Takes the fault's effect for this reply: a once-fault is used up by it.
bool Use(Fault& fault) {
    if (!fault.active()) return false;
    if (fault.mode == FaultMode::Once) fault.mode = FaultMode::Off;
    return true;
}

const char* ParityName(int code) {
    switch (code) {
    case 0:
        return "none";
    case 1:
        return "odd";
    case 2:
        return "even";
    default:
        return "any";
    }
}

} // namespace

size_t RequestLength(const uint8_t* bytes, size_t count) {
    if (count < 2) return 0;
    switch (bytes[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
        return 8;
    case 15:
    case 16:
        return count >= 7 ? 9u + bytes[6] : 0;
    default:
        return 0;
    }
}

double FrameSilenceSeconds(int baudRate) {
    if (baudRate <= 0 || baudRate > 19200) return 0.00175;
    return 3.5 * 11.0 / baudRate;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
    std::string out;
    char buf[4];
    for (uint8_t b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        if (!out.empty()) out += ' ';
        out += buf;
    }
    return out;
}

Line::Line(std::vector<Instrument> instruments) : instruments_(std::move(instruments)) {}

Instrument* Line::find(int address) {
    for (auto& inst : instruments_)
        if (inst.address() == address) return &inst;
    return nullptr;
}

Reply Line::handleFrame(const std::vector<uint8_t>& frame, const Observed& observed, double now) {
    Reply reply;
    const std::string rx = "rx " + HexBytes(frame) + ": ";
    const size_t n = frame.size();
    if (n < 4) {
        reply.log = rx + "too short, ignored";
        return reply;
    }
    const uint16_t crc = link::Crc16(frame.data(), static_cast<int>(n) - 3);
    if (frame[n - 2] != static_cast<uint8_t>(crc) || frame[n - 1] != static_cast<uint8_t>(crc >> 8)) {
        reply.log = rx + "bad CRC, ignored";
        return reply;
    }
    const uint8_t* pdu = frame.data() + 1;
    const size_t pduLength = n - 3;

    auto hears = [&](const Instrument& inst) {
        return (observed.baudRate == 0 || observed.baudRate == inst.baudRate()) &&
               (observed.parity < 0 || observed.parity == inst.parity());
    };

    if (frame[0] == 0) {
        // Broadcast: every instrument that hears the line executes a write; nobody answers.
        int applied = 0;
        if (pdu[0] == 16)
            for (auto& inst : instruments_)
                if (hears(inst) && inst.serve(pdu, pduLength, now).pdu[0] == 16) ++applied;
        reply.log = rx + "broadcast, executed by " + std::to_string(applied) + ", no reply";
        return reply;
    }

    Instrument* inst = find(frame[0]);
    if (!inst) {
        reply.log = rx + "no instrument at address " + std::to_string(frame[0]) + ", no reply";
        return reply;
    }
    if (!hears(*inst)) {
        reply.log = rx + "line at " + std::to_string(observed.baudRate) + " bit/s parity " +
                    ParityName(observed.parity) + ", instrument " + std::to_string(frame[0]) +
                    " listens at " + std::to_string(inst->baudRate()) + " bit/s parity " +
                    ParityName(inst->parity()) + ", no reply";
        return reply;
    }

    std::string note;
    std::vector<uint8_t> out{frame[0]};
    if (Use(faults_.exception)) {
        out.push_back(static_cast<uint8_t>(pdu[0] | 0x80));
        out.push_back(static_cast<uint8_t>(faults_.exception.value));
        note = "forced exception " + std::to_string(faults_.exception.value);
    } else {
        Instrument::Outcome served = inst->serve(pdu, pduLength, now);
        out.insert(out.end(), served.pdu.begin(), served.pdu.end());
        note = served.note;
        if (served.linkChanged) {
            reply.linkChanged = static_cast<int>(inst - instruments_.data());
            note += ", now address " + std::to_string(inst->address()) + " at " +
                    std::to_string(inst->baudRate()) + " bit/s parity " + ParityName(inst->parity());
        }
    }
    if (Use(faults_.noReply)) {
        reply.log = rx + note + ", no reply (fault)";
        return reply;
    }
    PutCrc(out);
    if (Use(faults_.address)) {
        out[0] = static_cast<uint8_t>(faults_.address.value);
        ReplaceCrc(out);
        note += ", address fault";
    }
    if (Use(faults_.function)) {
        out[1] = static_cast<uint8_t>(faults_.function.value);
        ReplaceCrc(out);
        note += ", function fault";
    }
    if (Use(faults_.crc)) {
        out[out.size() - 2] ^= 0xFF;
        out[out.size() - 1] ^= 0xFF;
        note += ", CRC fault";
    }
    if (Use(faults_.collide)) {
        for (size_t i = 0; i < out.size(); ++i)
            out[i] &= frame[i % n];
        note += ", collision";
    }
    if (Use(faults_.truncate)) {
        const size_t cut = std::min(out.size() - 1, static_cast<size_t>(std::max(faults_.truncate.value, 0)));
        out.resize(out.size() - cut);
        note += ", truncated";
    }
    if (Use(faults_.extra)) {
        out.insert(out.end(), static_cast<size_t>(std::max(faults_.extra.value, 0)), 0xA5);
        note += ", extra bytes";
    }
    if (Use(faults_.garbage)) {
        out.insert(out.begin(), static_cast<size_t>(std::max(faults_.garbage.value, 0)), 0x55);
        note += ", garbage first";
    }
    if (Use(faults_.delay)) {
        reply.delayMs = std::max(faults_.delay.value, 0);
        note += ", after " + std::to_string(reply.delayMs) + " ms";
    }
    if (Use(faults_.gap)) {
        reply.gapMs = std::max(faults_.gap.value, 0);
        note += ", " + std::to_string(reply.gapMs) + " ms between characters";
    }
    reply.bytes = std::move(out);
    reply.log = rx + note + ", tx " + HexBytes(reply.bytes);
    return reply;
}

Fault* Line::faultNamed(const std::string& name) {
    if (name == "noreply") return &faults_.noReply;
    if (name == "delay") return &faults_.delay;
    if (name == "truncate") return &faults_.truncate;
    if (name == "extra") return &faults_.extra;
    if (name == "crc") return &faults_.crc;
    if (name == "address") return &faults_.address;
    if (name == "function") return &faults_.function;
    if (name == "exception") return &faults_.exception;
    if (name == "garbage") return &faults_.garbage;
    if (name == "gap") return &faults_.gap;
    if (name == "collide") return &faults_.collide;
    return nullptr;
}

std::string Line::faultList() const {
    const std::pair<const char*, const Fault*> all[] = {
        {"noreply", &faults_.noReply},   {"delay", &faults_.delay},
        {"truncate", &faults_.truncate}, {"extra", &faults_.extra},
        {"crc", &faults_.crc},           {"address", &faults_.address},
        {"function", &faults_.function}, {"exception", &faults_.exception},
        {"garbage", &faults_.garbage},   {"gap", &faults_.gap},
        {"collide", &faults_.collide},
    };
    std::string out;
    for (const auto& [name, f] : all) {
        if (!f->active()) continue;
        out += std::string(" ") + name;
        if (f != &faults_.noReply && f != &faults_.crc && f != &faults_.collide)
            out += "=" + std::to_string(f->value);
        if (f->mode == FaultMode::Once) out += "(once)";
    }
    return out.empty() ? " none" : out;
}

// fault clear | fault list | fault noreply|crc|collide on|off|once | fault <valued> N|off [once]
std::string Line::faultCommand(const std::vector<std::string>& words) {
    if (words.size() == 2 && (words[1] == "clear" || words[1] == "off")) {
        faults_ = Faults{};
        return "ok faults cleared\n";
    }
    if (words.size() == 2 && words[1] == "list") return "ok" + faultList() + "\n";
    if (words.size() < 3 || words.size() > 4)
        return "error usage: fault NAME on|off|once|N [once], fault clear\n";
    Fault* fault = faultNamed(words[1]);
    if (!fault) return "error unknown fault " + words[1] + "\n";
    const bool once = words.size() == 4;
    if (once && words[3] != "once") return "error expected 'once' after the value\n";
    const std::string& arg = words[2];
    const bool flag = fault == &faults_.noReply || fault == &faults_.crc || fault == &faults_.collide;
    if (arg == "off") {
        if (once) return "error 'off' takes no 'once'\n";
        *fault = Fault{};
        return "ok fault " + words[1] + " off\n";
    }
    if (flag) {
        if (once || (arg != "on" && arg != "once"))
            return "error usage: fault " + words[1] + " on|off|once\n";
        fault->mode = arg == "once" ? FaultMode::Once : FaultMode::On;
        return "ok fault " + words[1] + " " + arg + "\n";
    }
    long long value = 0;
    const long long most =
        (fault == &faults_.address || fault == &faults_.function || fault == &faults_.exception) ? 255
                                                                                                 : 60000;
    if (!ParseInteger(arg, value) || value < 0 || value > most)
        return "error fault " + words[1] + " takes a number 0.." + std::to_string(most) + " or off\n";
    fault->mode = once ? FaultMode::Once : FaultMode::On;
    fault->value = static_cast<int>(value);
    return "ok fault " + words[1] + " " + arg + (once ? " once" : "") + "\n";
}

std::string Line::command(const std::string& rawLine, double now) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    std::vector<std::string> words = SplitWords(line);
    if (words.empty()) return "error empty command\n";

    // "@A command" addresses the instrument at address A; without it, the first instrument.
    Instrument* inst = instruments_.empty() ? nullptr : &instruments_.front();
    std::string rest = line.substr(line.find_first_not_of(" \t"));
    if (words[0][0] == '@') {
        long long a = 0;
        if (!ParseInteger(words[0].substr(1), a) || !(inst = find(static_cast<int>(a))))
            return "error no instrument at address " + words[0].substr(1) + "\n";
        words.erase(words.begin());
        rest = rest.substr(rest.find(' ') == std::string::npos ? rest.size() : rest.find(' '));
        rest = rest.substr(std::min(rest.size(), rest.find_first_not_of(" \t")));
        if (words.empty()) return "error empty command\n";
    }
    const std::string& verb = words[0];

    if (verb == "ping") return "ok\n";
    if (verb == "fault") return faultCommand(words);
    if (verb == "instruments") {
        std::string out = "ok";
        for (const auto& i : instruments_)
            out += " " + std::to_string(i.address()) + ":" + std::to_string(i.baudRate()) + ":" +
                   ParityName(i.parity());
        return out + "\n";
    }
    if (!inst) return "error no instruments on the line\n";
    if (verb == "dump") {
        std::string out;
        for (const auto& [k, v] : inst->dump(now))
            out += k + "=" + v + "\n";
        return out + "end\n";
    }
    if (verb == "get" && words.size() == 2) {
        int r = 0;
        if (!ParseRegister(words[1], r) || !IsMapped(r)) return "error no register " + words[1] + "\n";
        return "ok " + std::to_string(inst->reg(r, now)) + "\n";
    }
    if (verb == "set" && words.size() >= 2) {
        // set KEY=VALUE: the value is the rest of the line, spaces included (the text has them).
        const std::string assignment = rest.substr(std::min(rest.size(), rest.find_first_not_of(" \t", 3)));
        const size_t eq = assignment.find('=');
        if (eq == std::string::npos || eq == 0) return "error usage: set KEY=VALUE\n";
        std::string error;
        if (!inst->setKey(assignment.substr(0, eq), assignment.substr(eq + 1), error))
            return "error " + error + "\n";
        return "ok " + assignment.substr(0, eq) + "\n";
    }
    if (verb == "value" && words.size() >= 2) {
        std::string error;
        const bool ok = words[1] == "raw" && words.size() == 3 ? inst->setKey("value_raw", words[2], error)
                        : words.size() == 2                    ? inst->setKey("value", words[1], error)
                                            : (error = "usage: value FLOAT|raw HEX|live", false);
        return ok ? "ok value\n" : "error " + error + "\n";
    }
    if (verb == "apply") {
        // apply P: the pressure applied to the sensor, in the instrument's units; apply live: the swing.
        float pressure = 0;
        if (words.size() == 2 && words[1] == "live") {
            inst->applyLive();
            return "ok apply live\n";
        }
        if (words.size() != 2 || !ParseFloat(words[1], pressure) || !std::isfinite(pressure))
            return "error usage: apply PRESSURE|live\n";
        inst->apply(pressure, now);
        return "ok apply " + FormatFloat(pressure) + "\n";
    }
    if (verb == "sensor-error") {
        // sensor-error zero=Z,gain=G,...: the error model from now on; without a model, the one in force.
        if (words.size() > 2) return "error usage: sensor-error zero=Z,gain=G,hysteresis=H,noise=S,settle=T|off\n";
        if (words.size() == 2) {
            SensorError model;
            std::string error;
            if (!ParseSensorError(words[1], model, error)) return "error " + error + "\n";
            inst->setSensorError(model, now);
        }
        return "ok sensor-error " + FormatSensorError(inst->sensorError()) + "\n";
    }
    if (verb == "status" && words.size() == 2) {
        std::string error;
        return inst->setKey("status", words[1], error) ? "ok status\n" : "error " + error + "\n";
    }
    return "error unknown command: " + line + "\n";
}

} // namespace olv::sim
