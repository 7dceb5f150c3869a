# wasm32-wasi: a WebAssembly module for WASI preview 1, built with Debian's
# clang and linked with its wasm-ld, with no libc.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
# Nothing to link a test program against while CMake looks at the compiler.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(LINEECHO_TARGET wasm32-wasi)
