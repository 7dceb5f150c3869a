# Flags for code that runs with no runtime library: nothing is linked in but
# our own objects (and KERNEL32 on Windows), so anything the compiler would
# call behind our back (memcpy, memset, __stack_chk_fail, unwinding) is
# either switched off here or fails the link.
add_library(freestanding INTERFACE)
target_compile_features(freestanding INTERFACE cxx_std_17)
target_compile_options(freestanding INTERFACE
  -Os -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fno-stack-protector
  -fno-tree-loop-distribute-patterns
  -ffunction-sections -fno-ident -Wall -Wextra)
target_link_options(freestanding INTERFACE -nostdlib -Wl,--gc-sections -s)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "86|AMD64|amd64")
  # No CET landing pads: nothing here is reached through an indirect branch.
  target_compile_options(freestanding INTERFACE -fcf-protection=none)
endif()

if(WIN32)
  # No -fdata-sections here: with it, GCC for Windows puts zeroed data in
  # .data sections that take room in the file instead of .bss.
  target_link_libraries(freestanding INTERFACE kernel32)
  target_link_options(freestanding INTERFACE
    -Wl,--subsystem,console -Wl,--nxcompat -Wl,--dynamicbase)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(freestanding INTERFACE -Wl,--high-entropy-va)
  endif()
else()
  # A static position-independent executable with no interpreter: the
  # kernel maps it anywhere and jumps straight to our entry point.
  target_compile_options(freestanding INTERFACE -fPIE -fdata-sections)
  target_link_options(freestanding INTERFACE
    -static-pie -Wl,-z,noexecstack -Wl,-z,noseparate-code
    -Wl,--build-id=none -Wl,--hash-style=gnu -Wl,-z,norelro
    -Wl,--spare-dynamic-tags=0)
endif()

# Sets the symbol the process starts at. 32-bit Windows decorates C names
# with an underscore.
function(set_entry_point target symbol)
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(symbol _${symbol})
  endif()
  target_link_options(${target} PRIVATE -Wl,-e,${symbol})
endfunction()
