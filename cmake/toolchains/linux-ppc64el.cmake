# linux-ppc64el: cross-compiled with Debian's powerpc64le-linux-gnu toolchain.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(CMAKE_CXX_COMPILER powerpc64le-linux-gnu-g++)
set(LINEECHO_TARGET linux-ppc64el)
