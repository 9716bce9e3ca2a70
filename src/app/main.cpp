// pwdraw: prints one password or PIN code and appends it to password.txt.
// Errors are silent by design and the exit status is always 0.
#include "app/command_line.h"
#include "platform/system.h"

int main(int argc, char* argv[]) {
  pwdraw::prepare_process();
  pwdraw::run_command_line(argc, argv);
  return 0;
}
