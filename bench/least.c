/* The least any program doing pwdraw's job must do, as a yardstick for
 * bench/run.sh: read settings.ini, read the clock and the local time zone,
 * print one line, append one line to password.txt and flush it to disk. */
#define _POSIX_C_SOURCE 200809L
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

int main(void) {
  char settings[4096];
  int fd = open("settings.ini", O_RDONLY);
  if (fd >= 0) {
    if (read(fd, settings, sizeof settings) < 0) return 1;
    close(fd);
  }
  const time_t now = time(NULL);
  struct tm local;
  localtime_r(&now, &local);
  char line[128];
  const size_t size =
      strftime(line, sizeof line, "%H:%M:%S %d_%m_%Y Password 20:\tABCDEFGHIJKLMNOPQRST\r\n", &local);
  if (write(STDOUT_FILENO, "Password:\tABCDEFGHIJKLMNOPQRST\r\n", 32) != 32) return 1;
  fd = open("password.txt", O_WRONLY | O_CREAT | O_APPEND, 0600);
  if (fd < 0 || write(fd, line, size) != (ssize_t)size || fdatasync(fd) != 0) return 1;
  close(fd);
  return 0;
}
