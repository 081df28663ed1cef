// Zwillo, the stereo photography workstation. It reads no command-line
// arguments.
#include "app/desktop/program.h"

int main(int argc, char** argv) { return RunZwillo(argc, argv); }
