#include "app/parameters.h"

#include "app/settings.h"
#include "generator/password.h"
#include "generator/random.h"
#include "platform/clock.h"

namespace pwdraw {

bool correct_parameters(Parameters& values, std::uint32_t candidate) {
  bool corrected = false;
  auto set = [&corrected](std::uint32_t& value, std::uint32_t to) {
    value = to;
    corrected = true;
  };
  if (values.quality < 12) set(values.quality, 16);
  if (values.quality > 20) set(values.quality, 20);
  if (values.type == 0) set(values.type, 2);
  if (values.type > 4) set(values.type, 4);
  if (values.number == 0 || values.number > 10000) set(values.number, candidate);
  return corrected;
}

void normalise_parameters(std::uint32_t quality, std::uint32_t type, std::uint32_t number,
                          Rewrite rewrite) {
  seed_random(static_cast<std::uint32_t>(clock_now()));
  // Drawn on every run, needed or not: every later draw depends on it.
  const std::uint32_t candidate = next_random() % 10000 + 1;
  Parameters values{quality, type, number};
  if (correct_parameters(values, candidate) && rewrite != Rewrite::kLeave) {
    write_settings(values.quality, values.type, values.number, rewrite == Rewrite::kReplace);
  }
  generate_for_type(values.quality, values.type, values.number);
}

}  // namespace pwdraw
