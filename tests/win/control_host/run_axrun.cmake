# Runs axrun under Wine and checks how it ended:
#   cmake -DRUNNER=<wine-run> -DPREFIX=<prefix> -DAXRUN=<axrun.exe> -DCODE=<exit code>
#         [-DSTDOUT=<file whose text stdout must be>] [-DSTDERR=<regex stderr must match>]
#         -P run_axrun.cmake -- <axrun arguments...>
# (after --, so that cmake leaves options such as --help alone)
# Without STDOUT, stdout must be empty; without STDERR, stderr must be.
set(args)
set(collect FALSE)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 1 ${last})
  if(collect)
    list(APPEND args "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(collect TRUE)
  endif()
endforeach()

execute_process(
  COMMAND ${RUNNER} ${PREFIX} ${AXRUN} ${args}
  RESULT_VARIABLE code
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err)

set(expected_out "")
if(STDOUT)
  file(READ ${STDOUT} expected_out)
endif()
set(problems "")
if(NOT code STREQUAL CODE)
  string(APPEND problems "exit code ${code}, expected ${CODE}\n")
endif()
if(NOT out STREQUAL expected_out)
  string(APPEND problems "stdout differs; expected:\n${expected_out}\n")
endif()
if(STDERR)
  if(NOT err MATCHES "${STDERR}")
    string(APPEND problems "stderr does not match: ${STDERR}\n")
  endif()
elseif(NOT err STREQUAL "")
  string(APPEND problems "stderr should be empty\n")
endif()
if(problems)
  message(FATAL_ERROR "axrun ${args}\n${problems}--- stdout:\n${out}--- stderr:\n${err}")
endif()
