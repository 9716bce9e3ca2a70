/* The least any program doing pwdraw's job must do, as a yardstick for
 * bench/run.sh: read settings.ini, read the clock and the local time zone,
 * print one line, append one line to password.txt and flush it to disk.
 *
 * Built with -DDRAWS it also makes the draws pwdraw makes for number = 10000,
 * quality = 20, type = 4, with the same generator written inline: the draw
 * of a candidate number, number + 1000 draws into a byte table and one pick
 * per character, and it prints and logs what it drew: the password pwdraw
 * prints in the same second. Without them the ratio to pwdraw would hide
 * the draws, pwdraw's own work. */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <stdint.h>
#include <time.h>
#include <unistd.h>

#ifdef DRAWS
static uint32_t state, last, slots[32];

static uint32_t advance(void) { return state = state * 1664525u + 1013904223u; }

static uint32_t draw(void) {
  const uint32_t fresh = advance();
  uint32_t *slot = &slots[last & 31u];
  last = *slot;
  *slot = fresh;
  return last & 0x3FFFFFFFu;
}

/* pwdraw takes both from its settings: volatile, so that the compiler cannot
 * turn the divisions by them into multiplications by constants either. */
static volatile uint32_t set_size = 81, count = 11000;
#endif

int main(void) {
  char settings[4096];
  int fd = open("settings.ini", O_RDONLY);
  if (fd >= 0) {
    if (read(fd, settings, sizeof settings) < 0) return 1;
    close(fd);
  }
  const time_t now = time(NULL);
  char password[] = "ABCDEFGHIJKLMNOPQRST";
#ifdef DRAWS
  static const char set[] =
      "1234567890AaBbCcDdEeFfGgHhIiJjKkLlMmNnOoPpQqRrSsTtUuVvWwXxYyZz!#$%&()*+,-:;<=>?_.";
  const uint32_t length = set_size, entries = count;
  state = (uint32_t)now;
  for (int i = 0; i < 8; ++i) advance();
  for (int i = 0; i < 32; ++i) slots[i] = advance();
  last = slots[31];
  (void)draw(); /* the candidate number, drawn on every run */
  uint8_t table[11000];
  for (uint32_t k = 0; k < entries; ++k) table[k] = (uint8_t)(draw() % length);
  for (int i = 0; i < 20; ++i) password[i] = set[table[draw() % (entries - 1)]];
#endif
  struct tm local;
  localtime_r(&now, &local);
  char line[128];
  size_t size = strftime(line, sizeof line, "%H:%M:%S %d_%m_%Y Password 20:\t", &local);
  for (int i = 0; i < 20; ++i) line[size++] = password[i];
  line[size++] = '\r';
  line[size++] = '\n';
  char shown[32] = "Password:\t";
  for (int i = 0; i < 20; ++i) shown[10 + i] = password[i];
  shown[30] = '\r';
  shown[31] = '\n';
  if (write(STDOUT_FILENO, shown, sizeof shown) != (ssize_t)sizeof shown) return 1;
  fd = open("password.txt", O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0 || write(fd, line, size) != (ssize_t)size || fdatasync(fd) != 0) return 1;
  close(fd);
  return 0;
}
