// Kelvrin, the desktop program; run from its folder (bin/), with res/ and share/ beside it.
#include "gui/shell/AppMain.h"

int main(int argc, char** argv) { return AppMain(argc, argv); }
