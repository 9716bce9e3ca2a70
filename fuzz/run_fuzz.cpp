// Whole runs with arbitrary arguments (the input split at its zero bytes
// into up to four), in a directory of their own, at a pinned time: one
// console line of the right shape, a settings file that reads back, and
// exactly one more log line, holding what the console showed.
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/decimal.h"
#include "app/parameters.h"
#include "app/settings.h"
#include "platform/text_file.h"
#include "support.h"

namespace pwdraw {
std::time_t clock_now() { return 1544282487; }  // 15:21:27 08_12_2018 UTC
}  // namespace pwdraw

namespace {

using namespace pwdraw;

constexpr std::uint32_t kCandidate = 6992;  // the first draw at that time
constexpr std::string_view kEarlier = "07:00:00 01_01_2020 Password 12:\tAbCdEfGhIjKl\n";

std::string read_file_bytes(const char* path) {
  std::array<char, 4096> data;
  std::string bytes;
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return "";
  for (ssize_t got; (got = read(fd, data.data(), data.size())) > 0;)
    bytes.append(data.data(), static_cast<std::size_t>(got));
  close(fd);
  return bytes;
}

bool only_from(std::string_view text, std::string_view set) {
  return text.find_first_not_of(set) == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // In memory where there is a tmpfs: a run makes three files.
  std::array<char, 32> shm = {"/dev/shm/pwdraw-fuzz-XXXXXX"};
  std::array<char, 32> tmp = {"/tmp/pwdraw-fuzz-XXXXXX"};
  const char* dir = mkdtemp(shm.data());
  if (dir == nullptr) dir = mkdtemp(tmp.data());
  FUZZ_CHECK(dir != nullptr && chdir(dir) == 0);
  setenv("TZ", "UTC0", 1);
  // The console line lands in a file that each run starts empty.
  FUZZ_CHECK(dup2(open("console.out", O_RDWR | O_CREAT | O_TRUNC, 0600), 1) == 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::array<const char*, 5> argv = {"pwdraw"};
  int argc = 1;
  for (std::size_t start = 0; size > 0 && argc < 5 && start <= size;) {
    argv[static_cast<std::size_t>(argc++)] = bytes.c_str() + start;
    start += std::string_view(bytes.c_str() + start).size() + 1;
  }

  unlink("settings.ini");
  replace_text_file("password.txt", kEarlier);
  FUZZ_CHECK(ftruncate(1, 0) == 0 && lseek(1, 0, SEEK_SET) == 0);

  run_command_line(argc, argv.data());

  Parameters expected;
  if (argc > 1) expected.quality = parse_decimal(argv[1]);
  if (argc > 2) expected.type = parse_decimal(argv[2]);
  if (argc > 3) expected.number = parse_decimal(argv[3]);
  const bool corrected = correct_parameters(expected, kCandidate);

  const std::string settings = read_file_bytes("settings.ini");
  SettingsText text;
  FUZZ_CHECK(settings == (corrected ? fuzz::on_disk(format_settings(expected.quality, expected.type,
                                                                    expected.number, text))
                                    : ""));
  if (corrected) {
    std::string decoded = settings;
    const Parameters back =
        parse_settings({decoded.data(), decode_text(decoded.data(), decoded.size())});
    FUZZ_CHECK(fuzz::same(back, expected));
  }

  const bool pin = expected.type == 3;
  const std::string_view head = pin ? "PIN code:\t" : "Password:\t";
  const std::string console = read_file_bytes("console.out");
  const std::size_t length = pin ? 3 : expected.quality;
  FUZZ_CHECK(console.size() == head.size() + length + 2 &&
             console.compare(0, head.size(), head) == 0 &&
             console.compare(console.size() - 2, 2, "\r\n") == 0);
  const std::string result = console.substr(head.size(), length);
  const std::string_view sets[] = {
      "1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz",
      "123456789AaBbCcDdEeFfGgHhIiJjKkLlMmNnPpQqRrSsTtUuVvWwXxYyZz", "1234567890",
      "1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz!#$%&()*+,-:;<=>?_."};
  FUZZ_CHECK(only_from(result, sets[expected.type - 1]));

  const std::string line =
      pin ? "15:21:27 08_12_2018 PIN code:\t\t" + result + "\r\n"
          : "15:21:27 08_12_2018 Password " + std::to_string(length) + ":\t" + result + "\r\n";
  FUZZ_CHECK(read_file_bytes("password.txt") == fuzz::on_disk(kEarlier) + line);
  return 0;
}
