# Installs the build into a throw-away prefix and checks that the programs, the desktop entry, the
# icons and the AppStream metainfo file are where desktops look for them.
#   cmake -DBUILD_DIR=... -DPREFIX=... -P InstallTree.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
set(expected
  bin/tazel-admin
  bin/tazel-sim
  bin/tazel-askpass
  share/applications/org.tazel.Administrator.desktop
  share/metainfo/org.tazel.Administrator.metainfo.xml
  share/icons/hicolor/48x48/apps/org.tazel.Administrator.png
  share/icons/hicolor/128x128/apps/org.tazel.Administrator.png
  share/icons/hicolor/256x256/apps/org.tazel.Administrator.png)
foreach(f IN LISTS expected)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "missing from the install tree: ${f}")
  endif()
endforeach()
foreach(exe bin/tazel-admin bin/tazel-sim bin/tazel-askpass)
  if(NOT IS_DIRECTORY "${PREFIX}/${exe}")
    file(READ "${PREFIX}/${exe}" head LIMIT 4 HEX)
    if(NOT head STREQUAL "7f454c46")
      message(FATAL_ERROR "${exe} is not a program")
    endif()
  endif()
endforeach()
file(READ "${PREFIX}/share/icons/hicolor/48x48/apps/org.tazel.Administrator.png" png LIMIT 8 HEX)
if(NOT png STREQUAL "89504e470d0a1a0a")
  message(FATAL_ERROR "the icon is not a PNG file")
endif()
file(REMOVE_RECURSE "${PREFIX}")
message(STATUS "install tree complete")
