# linux-arm64: cross-compiled with Debian's aarch64-linux-gnu toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(LINEECHO_TARGET linux-arm64)
