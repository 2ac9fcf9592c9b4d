# The Debian package of the tool (make deb, with MOZAIK_DEB=ON and the
# prefix /usr): the tool, the manual page, the shell completions, the JSON
# schema, and in share/doc/mozaik32 the README, a changelog and the copyright
# file, the manual page and the changelog compressed as Debian wants them.
# The version is the tool's own, read from common/version.hpp.
file(STRINGS ${CMAKE_SOURCE_DIR}/common/version.hpp version_line REGEX "kVersion = \"")
if(NOT version_line MATCHES "\"([0-9][0-9.]*)\"")
  message(FATAL_ERROR "no kVersion in common/version.hpp")
endif()
set(MOZAIK_VERSION ${CMAKE_MATCH_1})
set(MOZAIK_DEB_MAINTAINER "mozaik32 maintainers <mozaik32@example.org>" CACHE STRING
    "Maintainer of the Debian package: name <address>")

set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/mozaik32)
set(deb_dir ${CMAKE_BINARY_DIR}/deb)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${deb_dir}/changelog @ONLY)
add_custom_command(OUTPUT ${deb_dir}/mozaik32.1.gz ${deb_dir}/changelog.gz
  COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/doc/mozaik32.1 > ${deb_dir}/mozaik32.1.gz
  COMMAND gzip -9nc ${deb_dir}/changelog > ${deb_dir}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/doc/mozaik32.1 ${deb_dir}/changelog
  COMMENT "Compressing the manual page and the changelog")
add_custom_target(deb_files ALL DEPENDS ${deb_dir}/mozaik32.1.gz ${deb_dir}/changelog.gz)
install(FILES ${deb_dir}/mozaik32.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${deb_dir}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright ${CMAKE_SOURCE_DIR}/README.md
        ${CMAKE_SOURCE_DIR}/doc/guide.md DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME mozaik32)
set(CPACK_PACKAGE_VERSION ${MOZAIK_VERSION})
set(CPACK_PACKAGE_CONTACT ${MOZAIK_DEB_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# Only the C library: the C++ runtime is linked in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "manage the compressed components of PC BIOS ROM images")
# The summary is the synopsis; CPack indents the lines of the rest.
set(CPACK_PACKAGE_DESCRIPTION "mozaik32 lists the LZH components of a flat system BIOS image (128 KB to
1 MB), adds components of 97 kinds (option ROMs, logos, CPU microcode,
fonts, tables) as -lh5- members, releases and extracts them, and keeps the
image's pointers and checksums right, patching the file all or nothing.
It checks images (/verify), reports them as JSON (/json) and foretells
what a run would change (/dry).")
include(CPack)
