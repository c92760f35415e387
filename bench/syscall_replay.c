/* The system calls of one driver run and nothing else: what any program that
   must make them pays, the floor under the driver's own CPU time in
   bench_driver_startup. Statically linked like the driver, so both start the
   same way.

   Usage: bench_syscall_replay PROGRAM OP...
   Each OP is one call, a letter and its argument:
     aMPATH  access(PATH, M), M a digit     sPATH  stat(PATH)
     rPATH   readlink(PATH)                 w      getcwd
     cPATH   create PATH exclusively        oPATH  open PATH to read
     x       close what c or o opened
     uPATH   unlink(PATH)                   g      sigaction (no change)
     m       sigprocmask (no change)        l      getrlimit(RLIMIT_STACK)
     p       write one byte to fd 1         v      vfork, exec PROGRAM, wait4
   An unknown OP ends the replay with status 2. */
#include <fcntl.h>
#include <signal.h>
#include <stddef.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
  if (argc < 2)
    return 2;
  char *child_argv[] = {argv[1], NULL};
  char *child_env[] = {NULL};
  char buffer[4096];
  struct stat st;
  struct rlimit limit;
  struct sigaction action;
  sigset_t mask;
  int fd = -1;
  for (int i = 2; i < argc; i++) {
    const char *op = argv[i];
    switch (op[0]) {
    case 'a':
      access(op + 2, op[1] - '0');
      break;
    case 's':
      stat(op + 1, &st);
      break;
    case 'r':
      readlink(op + 1, buffer, sizeof buffer - 1);
      break;
    case 'w':
      if (!getcwd(buffer, sizeof buffer))
        buffer[0] = 0;
      break;
    case 'c':
      fd = open(op + 1, O_RDWR | O_CREAT | O_EXCL, 0600);
      break;
    case 'o':
      fd = open(op + 1, O_RDONLY);
      break;
    case 'x':
      close(fd);
      fd = -1;
      break;
    case 'u':
      unlink(op + 1);
      break;
    case 'g':
      sigaction(SIGINT, NULL, &action);
      break;
    case 'm':
      sigprocmask(SIG_BLOCK, NULL, &mask);
      break;
    case 'l':
      getrlimit(RLIMIT_STACK, &limit);
      break;
    case 'p':
      if (write(1, "", 1) < 0)
        buffer[0] = 0;
      break;
    case 'v': {
      pid_t pid = vfork();
      if (pid == 0) {
        execve(argv[1], child_argv, child_env);
        _exit(127);
      }
      if (pid > 0)
        waitpid(pid, NULL, 0);
      break;
    }
    default:
      return 2;
    }
  }
  return 0;
}
