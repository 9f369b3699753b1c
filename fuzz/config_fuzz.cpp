// Any configuration file through the reader, and any instrument state through the writer and back.
//
// Input: byte 0 chooses.
//   'W'   the rest gives the words of a state, two bytes (high first) for each register the file holds
//         in their order (missing ones 0); the state is saved into a new file and loaded again;
//   else  the rest is a configuration file as a person may have edited it (seeds: files the program
//         saved), loaded as it is.
//
// Invariants:
//   - a state is accepted exactly when none of its values is refused (StateRefusals), and then reads
//     back word for word; a refused one gives the reason of its first refused value, on the line of its
//     register ("строка N, rR: ...");
//   - the contents read in memory and the file written with them load the same;
//   - a file that loads holds no value the instrument must refuse, may be saved over, loads the same
//     again, and saving what it gave over it (its other lines staying) loads the same state again;
//   - a refused file has a reason, and a line named in it is a line of the file (1..its line count).
#include "fuzz/fuzz_check.h"

#include "device/register_map.h"
#include "records/config_file.h"

#include <QByteArray>
#include <QFile>
#include <QRegularExpression>
#include <QString>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

using namespace olv::records;
namespace reg = olv::device::reg;
using olv::fuzz::Require;

namespace {

QString WorkFile(const char* name) {
    static const std::string dir = [] {
        const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        std::string pattern = std::string(base) + "/olv-config-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern.data());
        Require(made != nullptr, "a temporary folder can be made");
        static std::string kept = made;
        std::atexit([] {
            for (const char* file : {"/fuzz.cfg", "/saved.cfg"})
                ::unlink((kept + file).c_str());
            ::rmdir(kept.c_str());
        });
        return kept;
    }();
    return QString::fromStdString(dir + "/" + name);
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    Require(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "the work file opens");
    Require(file.write(bytes) == bytes.size(), "the work file is written");
}

uint16_t& WordOf(InstrumentState& state, int r) {
    switch (r) {
    case reg::ModuleModel:
        return state.image.moduleModel;
    case reg::ModuleHardware:
        return state.image.moduleHardware;
    case reg::ModuleSoftware:
        return state.image.moduleSoftware;
    case reg::Parity:
        return state.parity;
    default:
        return state.image.words[static_cast<size_t>(r)];
    }
}

bool SameWords(InstrumentState a, InstrumentState b) {
    for (int r : ConfigFileRegisters())
        if (WordOf(a, r) != WordOf(b, r)) return false;
    return a.image.words == b.image.words;
}

// The line a reason names: "строка N, ..." or "строка N: ...".
std::optional<int> NamedLine(const QString& reason) {
    static const QRegularExpression line(QStringLiteral("^строка (\\d+)[,:]"));
    const QRegularExpressionMatch match = line.match(reason);
    if (!match.hasMatch()) return std::nullopt;
    return match.captured(1).toInt();
}

void CheckRefusal(const QString& reason, const QByteArray& file) {
    Require(!reason.isEmpty(), "a refused file has a reason");
    if (const std::optional<int> line = NamedLine(reason)) {
        const int lines = static_cast<int>(file.count('\n')) + (file.endsWith('\n') ? 0 : 1);
        Require(*line >= 1 && *line <= lines, "the line named is a line of the file");
    }
}

void CheckLoaded(const ConfigFile& loaded, const QString& path) {
    Require(StateRefusals(loaded.state).empty(), "a loaded file holds nothing the instrument refuses");
    Require(MayHoldConfiguration(path), "a file that loads may be saved over");
    QString reason;
    const std::optional<ConfigFile> again = LoadConfigFile(path, reason);
    Require(again && SameWords(again->state, loaded.state), "a file loads the same twice");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    if (data[0] == 'W') {
        InstrumentState state;
        size_t at = 1;
        for (int r : ConfigFileRegisters()) {
            const uint16_t hi = at < size ? data[at] : 0, lo = at + 1 < size ? data[at + 1] : 0;
            WordOf(state, r) = static_cast<uint16_t>(hi << 8 | lo);
            at += 2;
        }
        const QString path = WorkFile("saved.cfg");
        ::unlink(QFile::encodeName(path).constData());
        ConfigFile file;
        file.state = state;
        file.port = QStringLiteral("COM1");
        file.address = 1;
        SaveConfigFile(path, file);
        QString reason;
        const std::optional<ConfigFile> loaded = LoadConfigFile(path, reason);
        const QString problem = StateProblem(state);
        Require(loaded.has_value() == problem.isEmpty(), "a state is accepted exactly when nothing is refused");
        if (loaded) {
            Require(SameWords(loaded->state, state), "an accepted state reads back word for word");
            CheckLoaded(*loaded, path);
        } else {
            QFile saved(path);
            Require(saved.open(QIODevice::ReadOnly), "the saved file opens");
            CheckRefusal(reason, saved.readAll());
            Require(NamedLine(reason).has_value(), "a refused value names its line");
            Require(reason.endsWith(QStringLiteral(": ") + problem), "the reason is that of the first refusal");
        }
        return 0;
    }

    // The contents are read once in memory, the way the loader reads the file it had; only contents
    // that load are written out and go through the file's own paths.
    const QByteArray bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    QString reason;
    const std::optional<ConfigFile> loaded = ReadConfigFile(olv::settings::IniSnapshot(bytes), reason);
    if (!loaded) {
        CheckRefusal(reason, bytes);
        return 0;
    }
    const QString path = WorkFile("fuzz.cfg");
    WriteFile(path, bytes);
    const std::optional<ConfigFile> fromFile = LoadConfigFile(path, reason);
    Require(fromFile && SameWords(fromFile->state, loaded->state) && fromFile->address == loaded->address,
            "the file loads as its contents read");
    CheckLoaded(*loaded, path);
    SaveConfigFile(path, *loaded);
    const std::optional<ConfigFile> saved = LoadConfigFile(path, reason);
    Require(saved && SameWords(saved->state, loaded->state), "what a file gave, saved over it, loads the same");
    Require(saved->address == loaded->address, "the address of the read reads back");
    return 0;
}
