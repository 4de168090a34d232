# Builds the Debian package from the build with cpack into a throw-away folder and checks it as
# someone installing it meets it:
# - it holds exactly the files `cmake --install` lays down under /usr (a file the install rules
#   gain is in the package too, and the package holds nothing they do not install);
# - its dependencies were worked out from the programs, and the SSH client and bash-completion are
#   recommended;
# - every program it puts on the PATH, unpacked from the package (stripped, with the system's
#   libraries) and with no display, answers --help, and the version it gives for --version is the
#   package's;
# - lintian finds no error and no warning but those accepted below.
#   cmake -DBUILD_DIR=... -DWORK_DIR=... -DCPACK=... -DVERSION=... -P PackageTest.cmake

cmake_minimum_required(VERSION 3.21)

# Warnings that stay, each with its reason (the README lists them too):
# initial-upload-closes-no-bugs: Debian's archive wants a first package to close the bug that
#   announced it; this package is built by its users and never goes through that archive.
set(accepted_warnings initial-upload-closes-no-bugs)

include(${CMAKE_CURRENT_LIST_DIR}/InstallTree.cmake)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    string(REPLACE ";" " " command "${ARGN}")
    message(FATAL_ERROR "${command} failed (${rc}):\n${out}${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK_DIR}")
run("${CPACK}" -G DEB -B "${WORK_DIR}/out" --config "${BUILD_DIR}/CPackConfig.cmake")
file(GLOB debs "${WORK_DIR}/out/*.deb")
list(LENGTH debs count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "cpack made ${count} packages: ${debs}")
endif()
get_filename_component(deb_name "${debs}" NAME)
if(NOT deb_name MATCHES "^tazel-admin_${VERSION}-[0-9]+_[a-z0-9]+\\.deb$")
  message(FATAL_ERROR "the package's file name ${deb_name} is not tazel-admin_${VERSION}-REVISION_ARCH.deb")
endif()
message(STATUS "package: ${deb_name}")

# The package's files against the install tree.
set(root "${WORK_DIR}/root")
run(dpkg-deb -x "${debs}" "${root}")
file(GLOB_RECURSE packaged LIST_DIRECTORIES false RELATIVE "${root}" "${root}/*")
list(SORT packaged)
tazel_install_tree("${BUILD_DIR}" "${WORK_DIR}/destdir" /usr)
set(only_packaged ${packaged})
list(REMOVE_ITEM only_packaged ${TAZEL_INSTALLED_FILES})
set(only_installed ${TAZEL_INSTALLED_FILES})
list(REMOVE_ITEM only_installed ${packaged})
if(only_packaged OR only_installed)
  message(FATAL_ERROR "the package and the install tree differ:\n"
                      "  only in the package: ${only_packaged}\n  only in the install tree: ${only_installed}")
endif()

run(dpkg-deb -f "${debs}" Depends)
if(NOT out MATCHES "libc6" OR NOT out MATCHES "libqt6core6")
  message(FATAL_ERROR "Depends does not come from the programs' libraries: ${out}")
endif()
run(dpkg-deb -f "${debs}" Recommends)
foreach(recommended openssh-client bash-completion)
  if(NOT out MATCHES "(^|[ ,])${recommended}([ ,(]|\n|$)")
    message(FATAL_ERROR "Recommends has no ${recommended}: ${out}")
  endif()
endforeach()

# Every program on the PATH from the package, run as in a terminal with no display (over SSH, say):
# --help must not need a window system. A program that waits instead of answering (one that opens
# a window or reads a prompt) fails here after the time-out rather than holding the test.
set(no_display "${CMAKE_COMMAND}" -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY --unset=QT_QPA_PLATFORM)
set(programs ${packaged})
list(FILTER programs INCLUDE REGEX "^usr/bin/[^/]+$")
if(NOT programs)
  message(FATAL_ERROR "the package holds no program in usr/bin")
endif()
foreach(program IN LISTS programs)
  get_filename_component(name "${program}" NAME)
  execute_process(COMMAND ${no_display} "${root}/${program}" --help TIMEOUT 30
                  RESULT_VARIABLE rc OUTPUT_VARIABLE help ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT help MATCHES "${name}")
    message(FATAL_ERROR "${name} --help from the package gave no usage naming it (exit: ${rc}):\n${help}${err}")
  endif()
  # Every program answers --version with the package's version (tazel-sim's takes a value only
  # when one follows it).
  execute_process(COMMAND ${no_display} "${root}/${program}" --version TIMEOUT 30
                  RESULT_VARIABLE rc OUTPUT_VARIABLE version ERROR_VARIABLE err)
  string(REPLACE "." "\\." version_pattern "${VERSION}")
  if(NOT rc EQUAL 0 OR NOT version MATCHES "(^|[^0-9.])${version_pattern}([^0-9.]|$)")
    message(FATAL_ERROR "${name} --version from the package did not give ${VERSION} (exit: ${rc}):\n${version}${err}")
  endif()
  message(STATUS "${name} --help and --version answer")
endforeach()

find_program(LINTIAN lintian)
if(NOT LINTIAN)
  message(FATAL_ERROR "lintian is missing (scripts/install-deps installs it)")
endif()
# The tags are judged here, warnings included; lintian's exit code tells only whether it ran.
execute_process(COMMAND "${LINTIAN}" --allow-root --fail-on none --tag-display-limit 0 "${debs}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE report ERROR_VARIABLE lintian_err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lintian did not run (${rc}): ${lintian_err}")
endif()
string(REGEX MATCHALL "(^|\n)[EW]: [^\n]+" tags "${report}")
set(refused)
foreach(line IN LISTS tags)
  string(STRIP "${line}" line)
  if(line MATCHES "^W: [^ ]+ ([^ ]+)" AND CMAKE_MATCH_1 IN_LIST accepted_warnings)
    message(STATUS "lintian, accepted: ${line}")
  else()
    list(APPEND refused "${line}")
  endif()
endforeach()
if(refused)
  list(JOIN refused "\n  " refused)
  message(FATAL_ERROR "lintian:\n  ${refused}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "package complete")
