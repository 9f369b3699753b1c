// modbus-olv-cli: the instrument for benches and scripts, on the window's core. See docs/cli.md.
#include "cli/commands.h"

#include <QStringList>

int main(int argc, char** argv) {
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return olv::cli::RunProgram(arguments);
}
