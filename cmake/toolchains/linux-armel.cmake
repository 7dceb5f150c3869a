# linux-armel: cross-compiled with Debian's arm-linux-gnueabi toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
set(LINEECHO_TARGET linux-armel)
