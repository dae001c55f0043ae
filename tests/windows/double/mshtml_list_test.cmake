# mshtml-list.exe under Wine: the usage and an unreadable snapshot end with their exit codes, and
# a snapshot's list and view come out as written in testdata, byte for byte (no CR LF), with no
# object of the double left alive.
# cmake "-DRUN=wine-run;STATE" -DPROGRAM=mshtml-list.exe -DDATA=testdata -P mshtml_list_test.cmake

function(expect code expected)
  execute_process(COMMAND ${RUN} ${PROGRAM} ${ARGN}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result EQUAL code)
    message(SEND_ERROR "mshtml-list ${ARGN}: exit ${result}, expected ${code}\n${err}")
  elseif(expected AND NOT out STREQUAL expected)
    message(SEND_ERROR "mshtml-list ${ARGN}: printed\n${out}\nexpected\n${expected}")
  endif()
endfunction()

file(READ ${DATA}/frames.list list)
file(READ ${DATA}/frames.view view)
expect(0 "${list}" Z:${DATA}/frames.json)
expect(0 "${view}" --view Z:${DATA}/frames.json)
# The list is the pipeline's own text, whichever serializer the double writes with.
expect(0 "${list}" --serializer ie Z:${DATA}/frames.json)
expect(2 "" --serializer xhtml Z:${DATA}/frames.json)
expect(2 "")
expect(2 "" --format Z:${DATA}/frames.json)
expect(1 "" Z:${DATA}/missing.json)
