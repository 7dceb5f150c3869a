# linux-i386: cross-compiled with Debian's i686-linux-gnu toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
set(LINEECHO_TARGET linux-i386)
