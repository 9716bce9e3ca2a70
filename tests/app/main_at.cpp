// pwdraw with its clock in its first two arguments, each "SECOND" or
// "SECOND/SIGNAL": the second it seeds from, then the second it stamps the
// log line with, and a signal to raise as that second is read. The fault
// matrix runs it to know to the byte what a run at a given time leaves.
#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "app/command_line.h"
#include "platform/clock.h"
#include "platform/system.h"

static const char* seconds[2];
static int reads = 0;

std::time_t pwdraw::clock_now() {
  char* end = nullptr;
  const std::time_t second = std::strtoll(seconds[std::min(reads++, 1)], &end, 10);
  if (*end == '/') std::raise(std::atoi(end + 1));
  return second;
}

int main(int argc, char* argv[]) {
  if (argc < 3) return 2;
  seconds[0] = argv[1];
  seconds[1] = argv[2];
  argv[2] = argv[0];
  pwdraw::prepare_process();
  pwdraw::run_command_line(argc - 2, argv + 2);
  return 0;
}
