# A cross build for 64-bit ARM with Debian's g++-aarch64-linux-gnu:
#   cmake -S . -B build/aarch64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/aarch64.cmake \
#         -DCMAKE_BUILD_TYPE=Release -DTAGSIFT_TESTS=OFF
# The program runs on an x86 machine under qemu-aarch64 (qemu-user), which finds the ARM
# C++ libraries through QEMU_LD_PREFIX (see .ci/run).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
# Tools the build runs (gzip for the man page) are the host's.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
