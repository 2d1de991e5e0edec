// Process entry: the GUI entry point hands over to the command-line start-up.
#include <windows.h>

#include "host/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  RunFromCommandLine();  // ends the process
  return 0;
}
