# Packs lineecho-dbgsym beside the .deb, as Debian packs its automatic debug
# packages: a .ddeb holding the debug file of /usr/bin/lineecho at the path
# its build ID gives, /usr/lib/debug/.build-id/NN/REST.debug, where gdb
# looks. CPack runs this after packing. Its own debug packages
# (CPACK_DEBIAN_DEBUGINFO_PACKAGE) split the executable again at packing
# time, with this machine's objcopy: the .deb would hold another file than
# the build made, and other architectures' files would not be read.
if(NOT CPACK_PACKAGE_FILES MATCHES "\\.deb(;|$)")
  return()
endif()

execute_process(COMMAND ${CPACK_LINEECHO_READELF} -n ${CPACK_LINEECHO_DEBUG_FILE}
  OUTPUT_VARIABLE notes COMMAND_ERROR_IS_FATAL ANY)
if(NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
  message(FATAL_ERROR "${CPACK_LINEECHO_DEBUG_FILE} has no build ID")
endif()
set(id ${CMAKE_MATCH_1}${CMAKE_MATCH_2})
set(name ${CPACK_PACKAGE_NAME}-dbgsym)
set(root ${CPACK_TOPLEVEL_DIRECTORY}/${name})
set(debug usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)

file(REMOVE_RECURSE ${root})
get_filename_component(debug_dir ${root}/${debug} DIRECTORY)
file(MAKE_DIRECTORY ${debug_dir})
file(COPY_FILE ${CPACK_LINEECHO_DEBUG_FILE} ${root}/${debug})
file(CHMOD ${root}/${debug} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
     WORLD_READ)
# Its documentation is the program's, as in every -dbgsym package.
file(MAKE_DIRECTORY ${root}/usr/share/doc)
file(CREATE_LINK ${CPACK_PACKAGE_NAME} ${root}/usr/share/doc/${name} SYMBOLIC)

file(SIZE ${root}/${debug} size)
math(EXPR kib "(${size} + 1023) / 1024")
file(MD5 ${root}/${debug} md5)
set(version ${CPACK_PACKAGE_VERSION})
set(arch ${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
file(WRITE ${root}/DEBIAN/md5sums "${md5}  ${debug}\n")
file(WRITE ${root}/DEBIAN/control "\
Package: ${name}
Source: ${CPACK_PACKAGE_NAME}
Version: ${version}
Auto-Built-Package: debug-symbols
Architecture: ${arch}
Maintainer: ${CPACK_PACKAGE_CONTACT}
Installed-Size: ${kib}
Depends: ${CPACK_PACKAGE_NAME} (= ${version})
Section: debug
Priority: optional
Description: debug symbols for ${CPACK_PACKAGE_NAME}
Build-Ids: ${id}
")
execute_process(COMMAND dpkg-deb --root-owner-group --build ${root}
  ${CPACK_PACKAGE_DIRECTORY}/${name}_${version}_${arch}.ddeb
  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
