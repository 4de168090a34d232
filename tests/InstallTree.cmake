# Installs the build into a throw-away prefix and checks that the programs, the desktop entry, the
# icons, the AppStream metainfo file, the man pages and the package's documents are where desktops,
# man and dpkg look for them.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P InstallTree.cmake
# PackageTest.cmake includes this file for tazel_install_tree(), to hold the package against the tree.

# Installs BUILD_DIR with the given prefix, under DESTDIR when destdir is not empty, checks the
# tree, and sets TAZEL_INSTALLED_FILES in the caller to every file and link laid down, relative to
# destdir (or to the prefix when there is no destdir).
function(tazel_install_tree build_dir destdir prefix)
  file(REMOVE_RECURSE "${destdir}${prefix}")
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${destdir}"
                          "${CMAKE_COMMAND}" --install "${build_dir}" --prefix "${prefix}"
                  RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
  endif()
  set(top "${destdir}${prefix}")
  set(expected
    bin/tazel-admin
    bin/tazel-sim
    bin/tazelctl
    share/man/man1/tazelctl.1.gz
    share/bash-completion/completions/tazelctl
    libexec/tazel-admin/tazel-askpass
    libexec/tazel-admin/tazel-sshrelay
    share/applications/org.tazel.Administrator.desktop
    share/metainfo/org.tazel.Administrator.metainfo.xml
    share/icons/hicolor/48x48/apps/org.tazel.Administrator.png
    share/icons/hicolor/128x128/apps/org.tazel.Administrator.png
    share/icons/hicolor/256x256/apps/org.tazel.Administrator.png
    share/man/man1/tazel-admin.1.gz
    share/man/man1/tazel-sim.1.gz
    share/doc/tazel-admin/copyright
    share/doc/tazel-admin/changelog.Debian.gz)
  foreach(f IN LISTS expected)
    if(NOT EXISTS "${top}/${f}")
      message(FATAL_ERROR "missing from the install tree: ${f}")
    endif()
  endforeach()
  foreach(exe bin/tazel-admin bin/tazel-sim bin/tazelctl libexec/tazel-admin/tazel-askpass
                libexec/tazel-admin/tazel-sshrelay)
    if(NOT IS_DIRECTORY "${top}/${exe}")
      file(READ "${top}/${exe}" head LIMIT 4 HEX)
      if(NOT head STREQUAL "7f454c46")
        message(FATAL_ERROR "${exe} is not a program")
      endif()
    endif()
  endforeach()
  file(READ "${top}/share/icons/hicolor/48x48/apps/org.tazel.Administrator.png" png LIMIT 8 HEX)
  if(NOT png STREQUAL "89504e470d0a1a0a")
    message(FATAL_ERROR "the icon is not a PNG file")
  endif()
  if(destdir STREQUAL "")
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${prefix}" "${prefix}/*")
  else()
    file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${destdir}" "${destdir}/*")
  endif()
  list(SORT files)
  set(TAZEL_INSTALLED_FILES "${files}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  tazel_install_tree("${BUILD_DIR}" "" "${PREFIX}")
  file(REMOVE_RECURSE "${PREFIX}")
  message(STATUS "install tree complete")
endif()
