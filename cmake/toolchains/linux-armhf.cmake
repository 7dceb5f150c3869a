# linux-armhf: cross-compiled with Debian's arm-linux-gnueabihf toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
set(LINEECHO_TARGET linux-armhf)
