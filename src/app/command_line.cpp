#include "app/command_line.h"

#include "app/decimal.h"
#include "app/parameters.h"
#include "app/settings.h"

namespace pwdraw {

void run_command_line(int argc, const char* const argv[]) {
  Parameters values;
  if (argc <= 1) {
    values = read_settings();
  } else {
    auto argument = [&](int i) { return i < argc ? parse_decimal(argv[i]) : 0u; };
    values = {argument(1), argument(2), argument(3)};
  }
  normalise_parameters(values.quality, values.type, values.number);
}

}  // namespace pwdraw
