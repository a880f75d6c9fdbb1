# Run by cpack after it has made the packages (CPACK_POST_BUILD_SCRIPTS). CPack 3.25 lists the
# files of the debug symbols package (.ddeb) in its DEBIAN/md5sums by their paths in its own
# staging folder rather than as installed, which dpkg cannot check and which differs between two
# build folders: the package is made again with the installed paths, its files dated with
# SOURCE_DATE_EPOCH so that it stays the same bytes for one commit. It gets its documents as
# Debian's debug symbols packages do: usr/share/doc/<package>-dbgsym is a link to the program's
# package's folder (the copyright and changelog there), which it depends on at its exact version
# and shares its source with.
foreach(_package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT _package MATCHES "\\.ddeb$")
    continue()
  endif()
  set(_tree "${CPACK_TOPLEVEL_DIRECTORY}/ddeb-tree")
  file(REMOVE_RECURSE "${_tree}")
  execute_process(COMMAND dpkg-deb --raw-extract "${_package}" "${_tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(READ "${_tree}/DEBIAN/md5sums" _sums)
  string(REGEX REPLACE "  /[^\n]*-dbgsym/" "  " _sums "${_sums}")
  file(WRITE "${_tree}/DEBIAN/md5sums" "${_sums}")
  file(READ "${_tree}/DEBIAN/control" _control)
  string(REGEX MATCH "\nVersion: ([^\n]*)" _ "\n${_control}")
  set(_version "${CMAKE_MATCH_1}")
  string(REGEX MATCH "\nPackage: ([^\n]*)-dbgsym\n" _ "\n${_control}")
  set(_main "${CMAKE_MATCH_1}")
  if(NOT _version OR NOT _main)
    message(FATAL_ERROR "${_package}: no Package or Version in its control file:\n${_control}")
  endif()
  string(REGEX REPLACE "(^|\n)(Depends|Source): [^\n]*" "" _control "${_control}")
  string(STRIP "${_control}" _control)
  file(WRITE "${_tree}/DEBIAN/control" "${_control}\nSource: ${_main}\nDepends: ${_main} (= ${_version})\n")
  file(MAKE_DIRECTORY "${_tree}/usr/share/doc")
  file(CREATE_LINK "${_main}" "${_tree}/usr/share/doc/${_main}-dbgsym" SYMBOLIC)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    execute_process(COMMAND find "${_tree}" -exec touch --no-dereference --date=@$ENV{SOURCE_DATE_EPOCH} {} +
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${_tree}" "${_package}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${_tree}")
endforeach()
