#include "app/command_line.h"

#include <optional>

#include "app/decimal.h"
#include "app/parameters.h"
#include "app/settings.h"
#include "app/usage.h"

namespace pwdraw {

void run_command_line(int argc, const char* const argv[]) {
  if (answer_help_or_version(argc, argv)) return;
  Parameters values;
  // A settings file that exists but could not be read still holds the
  // user's values: it is not ours to overwrite.
  bool may_rewrite = true;
  if (argc <= 1) {
    const std::optional<Parameters> read = read_settings();
    values = read.value_or(Parameters{});
    may_rewrite = read.has_value();
  } else {
    auto argument = [&](int i) { return i < argc ? parse_decimal(argv[i]) : 0u; };
    values = {argument(1), argument(2), argument(3)};
  }
  normalise_parameters(values.quality, values.type, values.number, may_rewrite);
}

}  // namespace pwdraw
