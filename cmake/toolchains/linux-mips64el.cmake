# linux-mips64el: cross-compiled with Debian's mips64el-linux-gnuabi64 toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR mips64el)
set(CMAKE_CXX_COMPILER mips64el-linux-gnuabi64-g++)
set(LINEECHO_TARGET linux-mips64el)
