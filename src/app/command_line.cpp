#include "app/command_line.h"

#include "app/decimal.h"
#include "app/parameters.h"
#include "app/settings.h"
#include "app/usage.h"

namespace pwdraw {

void run_command_line(int argc, const char* const argv[]) {
  if (answer_help_or_version(argc, argv)) return;
  FoundSettings found;
  if (argc <= 1) {
    found = read_settings();
  } else {
    auto argument = [&](int i) { return i < argc ? parse_decimal(argv[i]) : 0u; };
    found.values = {argument(1), argument(2), argument(3)};
  }
  const Parameters& values = found.values;
  normalise_parameters(values.quality, values.type, values.number, found.rewrite);
}

}  // namespace pwdraw
