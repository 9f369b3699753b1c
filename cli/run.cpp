#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/stop_signals.h"

#include "settings/ini_file.h"

#include <csignal>
#include <exception>

namespace olv::cli {

int RunProgram(const QStringList& arguments) {
    const Parsed parsed = ParseArguments(arguments);
    if (!parsed.options) {
        PrintError(parsed.error + QStringLiteral(" (modbus-olv-cli --help покажет все параметры)"));
        return BadCommandLine;
    }
    const Options& options = *parsed.options;
    if (options.help) {
        PrintLine(HelpText().chopped(1));
        return Done;
    }
    if (options.version) {
        PrintLine(VersionText());
        return Done;
    }
    // Under a file size limit a write past it fails with EFBIG, and is refused like one to a full disk.
    std::signal(SIGXFSZ, SIG_IGN);
    InstallStopSignals();
    try {
        switch (options.command) {
        case Command::Value:
            return RunValue(options);
        case Command::Info:
            return RunInfo(options);
        case Command::Search:
            return RunSearch(options);
        case Command::ConfigRead:
            return RunConfigRead(options);
        case Command::ConfigCompare:
            return RunConfigCompare(options);
        case Command::Monitor:
            return RunMonitor(options);
        case Command::ConfigWrite:
            return RunConfigWrite(options);
        case Command::Link:
            return RunLink(options);
        case Command::Batch:
            return RunBatch(options);
        case Command::Calibrate:
            return RunCalibrate(options);
        case Command::None:
            break;
        }
    } catch (const Failure& failure) {
        PrintError(failure.message());
        return failure.code();
    } catch (const settings::IniWriteError& error) {
        PrintError(QString::fromUtf8(error.what()));
        return FileFault;
    }
    return BadCommandLine;
}

} // namespace olv::cli
