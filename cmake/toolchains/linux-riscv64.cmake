# linux-riscv64: cross-compiled with Debian's riscv64-linux-gnu toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(CMAKE_CXX_COMPILER riscv64-linux-gnu-g++)
set(LINEECHO_TARGET linux-riscv64)
