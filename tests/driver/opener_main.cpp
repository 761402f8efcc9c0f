// Test program that opens one file the way it is told and exits with 0 on success or the errno
// value of the failure. Copies of it under different names play different programs.
//   opener PATH r|w|c|cx|a2   (read, write, create, create-exclusive, openat2 create)
#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 3)
        return 100;
    const char* mode = argv[2];
    int fd;
    if (std::strcmp(mode, "r") == 0) {
        fd = ::open(argv[1], O_RDONLY);
    } else if (std::strcmp(mode, "w") == 0) {
        fd = ::open(argv[1], O_WRONLY);
    } else if (std::strcmp(mode, "c") == 0) {
        fd = ::open(argv[1], O_WRONLY | O_CREAT, 0644);
    } else if (std::strcmp(mode, "cx") == 0) {
        fd = ::open(argv[1], O_WRONLY | O_CREAT | O_EXCL, 0644);
    } else if (std::strcmp(mode, "a2") == 0) {
        open_how how{};
        how.flags = O_WRONLY | O_CREAT;
        how.mode = 0644;
        fd = static_cast<int>(::syscall(SYS_openat2, AT_FDCWD, argv[1], &how, sizeof(how)));
    } else {
        return 101;
    }
    if (fd < 0)
        return errno;
    ::close(fd);
    return 0;
}
