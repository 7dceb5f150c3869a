# linux-s390x: cross-compiled with Debian's s390x-linux-gnu toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_CXX_COMPILER s390x-linux-gnu-g++)
set(LINEECHO_TARGET linux-s390x)
