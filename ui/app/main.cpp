// The program: one window on the serial port. Its command line: see command_line.h.
#include "ui/app/run_program.h"

int main(int argc, char** argv) {
    return RunProgram(argc, argv);
}
