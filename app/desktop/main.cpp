// Zwillo, the stereo photography workstation. "zwillo LEFT RIGHT" (or
// "zwillo LEFT") opens the photographs named on the command line.
#include "app/desktop/program.h"

int main(int argc, char** argv) { return RunZwillo(argc, argv); }
