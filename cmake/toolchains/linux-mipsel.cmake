# linux-mipsel: cross-compiled with Debian's mipsel-linux-gnu toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mipsel)
set(CMAKE_CXX_COMPILER mipsel-linux-gnu-g++)
set(LINEECHO_TARGET linux-mipsel)
