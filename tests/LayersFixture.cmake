# Runs LayerCheck on tests/layers-fixture, a tree with planted includes, against the top's table:
# it must fail and name exactly the planted lines (file and line) and the folder the table lacks.
#   cmake -DCHECK=<LayerCheck> -DTABLE=<layers.txt> -DFIXTURE=<tests/layers-fixture> -P LayersFixture.cmake
execute_process(COMMAND ${CHECK} ${TABLE} ${FIXTURE} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "LayerCheck exited with ${rc} on the planted includes, not 1")
endif()
set(expected
  "engine/: holds source files but is no floor of"
  "protocol/Fields.h:4: #include \"session/ServerSession.h\" reaches session/, a floor above protocol/ (protocol/ may use: its own folder only)"
  "store/Record.cpp:3: #include \"../session/Driver.h\" reaches session/, a floor above store/ (store/ may use: protocol)"
  "cli/Verb.cpp:4: #include \"window/frmMain.h\" reaches window/, the other front end"
  "window/Panel.cpp:4: #include <cli/Output.h> reaches cli/, the other front end"
  "5 place(s) break the floors of")
foreach(line IN LISTS expected)
  string(FIND "${out}" "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "LayerCheck did not report: ${line}")
  endif()
endforeach()
# ... and nothing else: the allowed includes, the comment and the system headers pass.
string(REGEX MATCHALL ": #include " reports "${out}")
list(LENGTH reports count)
if(NOT count EQUAL 4)
  message(FATAL_ERROR "LayerCheck reported ${count} includes, the fixture plants 4")
endif()
