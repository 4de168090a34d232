# The Debian package, built by `make package` (CPack's DEB generator) from whatever the install rules
# lay down under /usr, so a program with an install rule of its own is packaged with no change here.
# Besides the install rules of the programs and the desktop files, this file installs the package's
# documents (the licence as a machine-readable copyright file, the changelog, the man pages) and holds
# tazel_install_man_page() for any program's man page.

set(TAZEL_PACKAGE_NAME tazel-admin)
set(TAZEL_PACKAGE_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/${TAZEL_PACKAGE_NAME})
set(TAZEL_PACKAGE_MAINTAINER "The Tazel Administrator developers <developers@tazel-admin.example>"
    CACHE STRING "Maintainer field of the Debian package (someone building a package to hand on names themself)")
# Folders made by the install are 0755 whatever the umask of the one who builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_LIST_DIR}/changelog ${CMAKE_CURRENT_LIST_DIR}/description ${CMAKE_SOURCE_DIR}/LICENSE)

# gzip -9n: compressed as far as gzip goes, with no time stamp or file name inside, so the same
# sources make the same bytes (Debian wants both of its man pages and changelogs).
function(tazel_gzip source output)
  if(NOT output MATCHES "^(.*)\\.gz$")
    message(FATAL_ERROR "tazel_gzip: ${output} does not end in .gz")
  endif()
  set(plain ${CMAKE_MATCH_1})
  get_filename_component(dir ${output} DIRECTORY)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${plain}
    COMMAND gzip -9nf ${plain}
    DEPENDS ${source} VERBATIM)
endfunction()

# Installs a roff man page (its section taken from its suffix, `tazelctl.1` into man1) gzipped.
#   tazel_install_man_page(docs/tazel-admin.1)   (the path from the calling folder)
function(tazel_install_man_page page)
  get_filename_component(source ${page} ABSOLUTE)
  get_filename_component(name ${page} NAME)
  if(NOT name MATCHES "\\.([1-9])$")
    message(FATAL_ERROR "tazel_install_man_page: ${page} has no man section suffix")
  endif()
  set(section ${CMAKE_MATCH_1})
  set(gz ${CMAKE_CURRENT_BINARY_DIR}/man/${name}.gz)
  tazel_gzip(${source} ${gz})
  add_custom_target(man-${name} ALL DEPENDS ${gz})
  install(FILES ${gz} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()

# The package's version comes from the latest entry of packaging/changelog: its upstream part must be
# the program's version, and the part after the "-" is the package's revision.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog changelog_head LIMIT_COUNT 1)
if(NOT changelog_head MATCHES "^${TAZEL_PACKAGE_NAME} \\(([^-)]+)-([^)]+)\\) ")
  message(FATAL_ERROR "packaging/changelog: the first line is not \"${TAZEL_PACKAGE_NAME} (VERSION-REVISION) ...\"")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog: its latest entry is for ${CMAKE_MATCH_1}, the program is "
                      "${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}-1 at its top")
endif()
set(TAZEL_PACKAGE_REVISION ${CMAKE_MATCH_2})

tazel_gzip(${CMAKE_CURRENT_LIST_DIR}/changelog ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
add_custom_target(package-changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)

# The copyright file in Debian's machine-readable form, made from LICENSE so the licence has one
# source: LICENSE's "Copyright (c) ..." line gives the Copyright field, the text after it the licence
# (each line indented by one space, an empty line written as " .").
file(READ ${CMAKE_SOURCE_DIR}/LICENSE licence)
if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n\n(.*)$")
  message(FATAL_ERROR "LICENSE: no \"Copyright (c) ...\" line followed by the licence text")
endif()
set(copyright_holder "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" licence_text)
string(REGEX REPLACE "\n\n" "\n.\n" licence_text "${licence_text}")
string(REGEX REPLACE "\n" "\n " licence_text "${licence_text}")
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Tazel Administrator

Files: *
Copyright: @copyright_holder@
License: Expat

License: Expat
 @licence_text@
")

install(FILES ${CMAKE_BINARY_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz
        DESTINATION ${TAZEL_PACKAGE_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${TAZEL_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Tazel Administrator developers")
set(CPACK_PACKAGE_CONTACT "${TAZEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop administration of Tazel mail servers")
# Read here rather than named as CPACK_PACKAGE_DESCRIPTION_FILE, which cpack escapes for XML
# (an apostrophe would reach the control file as "&apos;").
file(READ ${CMAKE_CURRENT_LIST_DIR}/description CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${TAZEL_PACKAGE_REVISION})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TAZEL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends is worked out from the programs' shared libraries (dpkg-shlibdeps), so a library a program
# comes to link is a dependency with no change here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The SSH client for servers reached over SSH; without it the program still talks TCP. bash-completion
# loads tazelctl's completion in a new shell; without it nothing completes.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "openssh-client, bash-completion")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# No Homepage field: the project has no web page of its own, and any address put there would name
# somebody else's site.
include(CPack)
