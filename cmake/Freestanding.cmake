# Flags for code that runs with no runtime library: nothing is linked in but
# our own objects (and KERNEL32 on Windows), so anything the compiler would
# call behind our back (memcpy, memset, unwinding) is either switched off
# here or fails the link. The stack protector's guard and __stack_chk_fail
# are our own (console_io/linux/stack_guard.cpp, windows/stack_guard.cpp).
add_library(freestanding INTERFACE)
set(freestanding_dir ${CMAKE_CURRENT_LIST_DIR})
target_compile_features(freestanding INTERFACE cxx_std_17)
target_compile_options(freestanding INTERFACE
  -Os -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics
  -fno-asynchronous-unwind-tables -fno-unwind-tables -fstack-protector-strong
  $<$<CXX_COMPILER_ID:GNU>:-fno-tree-loop-distribute-patterns>
  -ffunction-sections -fno-ident -Wall -Wextra)
# Debug information from the same compile: -g changes no byte of the code.
# On Linux it goes into a file of its own after the link (split_debug_info).
target_compile_options(freestanding INTERFACE -g)
# The same source gives the same bytes in any folder: the debug information,
# and the build ID that hashes it, name the checkout's files from its top
# (echo/echo.cpp) and the build folder ".". Given to the link too, which
# compiles again for link-time optimisation. (GCC tries the last map first.)
set(prefix_maps -ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
    -ffile-prefix-map=${PROJECT_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}=.)
target_compile_options(freestanding INTERFACE ${prefix_maps})
target_link_options(freestanding INTERFACE ${prefix_maps})
# The link-time optimiser compiles the code again, with the link's flags: it
# too must make no unwind tables, which the linker script would drop, and
# keep the call-frame information with the debug information (.debug_frame),
# where gdb finds how each frame was called.
target_link_options(freestanding INTERFACE -nostdlib -Wl,--gc-sections
  -fno-asynchronous-unwind-tables -fno-unwind-tables)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "86|AMD64|amd64")
  # No CET landing pads: nothing here is reached through an indirect branch.
  target_compile_options(freestanding INTERFACE -fcf-protection=none)
endif()

# Where the stack protector reads its guard, as each architecture's system
# call file says (StackGuard): a global where GCC would read thread storage
# that nothing here sets up, and for arm64 and riscv64 their thread
# pointers, since their code would reach a global guard through a table of
# addresses that needs relocating.
if(NOT WIN32 AND CMAKE_SYSTEM_PROCESSOR MATCHES "86|AMD64|amd64|ppc64")
  target_compile_options(freestanding INTERFACE -mstack-protector-guard=global)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64")
  target_compile_options(freestanding INTERFACE -mstack-protector-guard=sysreg
    -mstack-protector-guard-reg=tpidr_el0 -mstack-protector-guard-offset=0)
  # Landing pads for indirect branches (BTI) and signed return addresses
  # (PAC); the linker marks the file so in its GNU property note, and the
  # kernel then maps the code as guarded pages.
  target_compile_options(freestanding INTERFACE -mbranch-protection=standard)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "riscv64")
  target_compile_options(freestanding INTERFACE -mstack-protector-guard=tls
    -mstack-protector-guard-reg=tp -mstack-protector-guard-offset=0)
endif()

# The Linux linker script, with what only arm64 needs filled in: the GNU
# property note that says its code has BTI landing pads and signed return
# addresses, and the headers that show it to the kernel and to readelf. An
# empty PT_GNU_PROPERTY would fail exec on a kernel that reads it.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "aarch64")
  set(ARM64_PROPERTY_HEADERS
      "property PT_GNU_PROPERTY FLAGS(4);\n  notes PT_NOTE FLAGS(4);")
  set(ARM64_PROPERTY_NOTE ".note.gnu.property : { *(.note.gnu.property) } :text :property :notes")
endif()
set(linux_ld ${CMAKE_BINARY_DIR}/linux.ld)
configure_file(${CMAKE_CURRENT_LIST_DIR}/linux.ld ${linux_ld} @ONLY)

if(WIN32)
  # Each program's manifest is a resource, for the resource compiler.
  enable_language(RC)
  # No -fdata-sections here: with it, GCC for Windows puts zeroed data in
  # .data sections that take room in the file instead of .bss.
  target_link_libraries(freestanding INTERFACE kernel32)
  target_link_options(freestanding INTERFACE -s)
  # The linker script keeps the constants with the code, a block less.
  # Marked as Microsoft's linker marks a console program: aware of Remote
  # Desktop (without it a terminal server runs the image under its
  # compatibility layer) and, on x86, with no exception handlers at all. No
  # link time in the header: the same source gives the same file.
  target_link_options(freestanding INTERFACE
    -Wl,--subsystem,console -Wl,--nxcompat -Wl,--dynamicbase -Wl,--tsaware
    -Wl,--no-insert-timestamp
    -Wl,-T,${CMAKE_CURRENT_LIST_DIR}/windows.ld)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_link_options(freestanding INTERFACE -Wl,--high-entropy-va)
  else()
    target_link_options(freestanding INTERFACE -Wl,--no-seh)
  endif()
elseif(CMAKE_SYSTEM_PROCESSOR STREQUAL "wasm32")
  # A module that imports its few WASI calls by name and exports its entry
  # point as _start and its memory, as WASI's engines expect. Its debug
  # information and names stay out of it, and its code's addresses take
  # the bytes they need, not five each: a program is under 1 KiB, built
  # for size before speed (-Oz). Link-time optimisation of the whole, not
  # clang's default, thin, which keeps the library's routines apart.
  target_compile_options(freestanding INTERFACE -Oz -flto=full)
  # Its data starts at 16, not at 1024, so that its addresses take a byte
  # fewer; address 0 stays unused, as a null pointer points at nothing.
  target_link_options(freestanding INTERFACE -flto=full -Wl,--strip-all
    -Wl,--compress-relocations -Wl,--global-base=16)
elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^mips")
  # Position-independent MIPS code reaches even its own data through a table
  # of absolute addresses that only a loader moves to where the file went,
  # and expects its own address in $t9 and the table's in $gp, which the
  # kernel sets neither. So MIPS builds are static at a fixed address, of
  # ordinary code (-mno-abicalls) that reaches no data through $gp (-G0).
  # The address is the usual 32-bit one for n64 too, whose code then builds
  # addresses of 32 bits (-msym32) in two instructions instead of six.
  set(mips_code -fno-pic -mno-abicalls -G0 -msym32)
  target_compile_options(freestanding INTERFACE ${mips_code} -fdata-sections)
  target_link_options(freestanding INTERFACE ${mips_code}
    -static -no-pie -Wl,-Ttext-segment=0x400000 -Wl,-z,noexecstack
    -Wl,--build-id -Wl,-T,${linux_ld})
else()
  # A static position-independent executable with no interpreter: the
  # kernel maps it anywhere and jumps straight to our entry point. The
  # linker script lays it out with nothing the kernel does not read but a
  # GNU build ID, by which a debugger finds the debug information.
  target_compile_options(freestanding INTERFACE -fPIE -fdata-sections)
  target_link_options(freestanding INTERFACE
    -static-pie -Wl,-z,noexecstack -Wl,--build-id
    -Wl,-T,${linux_ld})
endif()

# Makes a program that runs with no runtime library, from its sources and
# the function the process starts at:
#   add_freestanding_program(hello hello.cpp ENTRY HelloMain)
# It links the console library and gets what every such program needs: the
# flags above, its entry point, on Linux its debug information split into
# NAME.debug, and on Windows the manifest that has it run with its user's
# rights, never elevated, and the load configuration entry through which
# the loader sets its stack cookie.
function(add_freestanding_program name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "ENTRY" "")
  if(NOT arg_ENTRY OR NOT arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "add_freestanding_program(${name} SOURCES... ENTRY symbol)")
  endif()
  add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE console_io)
  # A program is a handful of small functions across itself, the library
  # and its platform layer: optimised as one, they take the least room.
  set_target_properties(${name} PROPERTIES INTERPROCEDURAL_OPTIMIZATION ON)
  set_entry_point(${name} ${arg_ENTRY})
  split_debug_info(${name})
  # An edited linker script relinks every program it lays out; on Windows
  # so does an edited step after the link, which runs only with the link.
  if(NOT WIN32 AND NOT CMAKE_SYSTEM_PROCESSOR STREQUAL "wasm32")
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${linux_ld})
  endif()
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "wasm32")
    # Binaryen's optimiser on the linked module: what the linker leaves for
    # an engine to set up that nothing uses (an empty function table), and
    # code made smaller as a whole, some 90 bytes.
    find_program(WASM_OPT wasm-opt REQUIRED)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${WASM_OPT} -Oz $<TARGET_FILE:${name}> -o $<TARGET_FILE:${name}>)
  endif()
  if(WIN32)
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS
                 ${freestanding_dir}/windows.ld
                 ${freestanding_dir}/fill-load-config)
    target_sources(${name} PRIVATE ${freestanding_dir}/program.rc)
    # Perl is essential on Debian: every machine that builds this has it.
    find_program(PERL perl REQUIRED)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${PERL} ${freestanding_dir}/fill-load-config $<TARGET_FILE:${name}>)
  endif()
endfunction()

# Sets the symbol the process starts at. 32-bit Windows decorates C names
# with an underscore.
function(set_entry_point target symbol)
  if(CMAKE_SYSTEM_PROCESSOR STREQUAL "wasm32")
    # PROGRAM_ENTRY exports it under the name WASI gives it, _start.
    target_link_options(${target} PRIVATE -Wl,--no-entry)
    return()
  endif()
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(symbol _${symbol})
  endif()
  target_link_options(${target} PRIVATE -Wl,-e,${symbol})
endfunction()

# Moves the debug information and the symbols of a Linux executable into
# NAME.debug beside it, as Debian ships a program and its -dbgsym package.
# The executable keeps its build ID, which names the debug file under
# /usr/lib/debug/.build-id/, and its section headers: gdb does not look the
# ID up without them, and the kernel, which reads only the program headers,
# ignores them. It carries no debug link to NAME.debug: on x86-64 the link
# and its section header would take the room of the stack guard's code, so
# in a build tree gdb is given the file (symbol-file NAME.debug).
# A build for a Debian package leaves the debug information in the
# executable instead (LINEECHO_SPLIT_DEBUG off): dh_strip makes the debug
# package from it.
option(LINEECHO_SPLIT_DEBUG "Move Linux executables' debug information into NAME.debug" ON)
function(split_debug_info target)
  if(WIN32 OR CMAKE_SYSTEM_PROCESSOR STREQUAL "wasm32" OR NOT LINEECHO_SPLIT_DEBUG)
    return()
  endif()
  # The toolchain's own objcopy, of the binutils that linked the file:
  # llvm-objcopy refuses ARM's, whose relocations for the stack guard point
  # at no dynamic symbol table. llvm-objcopy, which reads every
  # architecture, where the toolchain has none.
  set(objcopy ${CMAKE_OBJCOPY})
  if(NOT objcopy)
    find_program(LLVM_OBJCOPY NAMES llvm-objcopy llvm-objcopy-14 REQUIRED)
    set(objcopy ${LLVM_OBJCOPY})
  endif()
  set(exe $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${objcopy} --only-keep-debug ${exe} ${exe}.debug
    COMMAND ${objcopy} --strip-all ${exe}
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>)
endfunction()
